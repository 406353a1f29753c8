#include "data/update_statements.h"

#include <algorithm>

std::string SqlColumn(const std::string& column)
{
    if (column == "CROSS")
        return '"' + column + '"';
    return column;
}

namespace {

// "  A = :A and" ... for the key columns, parameters prefixed as given.
void addKeyConditions(std::vector<std::string>& lines, const std::vector<std::string>& keys,
                      const std::string& paramPrefix)
{
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::string line = "  " + SqlColumn(keys[i]) + " = :" + paramPrefix + keys[i];
        if (i + 1 < keys.size())
            line += " and";
        lines.push_back(std::move(line));
    }
}

std::string joinList(const std::vector<std::string>& items, const std::string& prefix, bool quote)
{
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty())
            text += ", ";
        text += prefix + (quote ? SqlColumn(item) : item);
    }
    return text;
}

} // namespace

db::UpdateSql MakeUpdateStatements(const TableStatementsShape& shape)
{
    const std::string& writeTable = shape.writeTable.empty() ? shape.table : shape.writeTable;
    std::vector<std::string> sorted = shape.columns;
    std::sort(sorted.begin(), sorted.end());

    db::UpdateSql sql;

    sql.RefreshSQL.push_back("Select ");
    for (std::size_t i = 0; i < shape.columns.size(); ++i)
        sql.RefreshSQL.push_back("  " + SqlColumn(shape.columns[i]) + (i + 1 < shape.columns.size() ? "," : ""));
    sql.RefreshSQL.push_back("from " + shape.table + " ");
    sql.RefreshSQL.push_back("where");
    addKeyConditions(sql.RefreshSQL, shape.keys, "");

    sql.ModifySQL.push_back("update " + writeTable);
    sql.ModifySQL.push_back("set");
    for (std::size_t i = 0; i < sorted.size(); ++i)
        sql.ModifySQL.push_back("  " + SqlColumn(sorted[i]) + " = :" + sorted[i] + (i + 1 < sorted.size() ? "," : ""));
    if (!shape.modifyWithoutWhere) {
        sql.ModifySQL.push_back("where");
        addKeyConditions(sql.ModifySQL, shape.keys, "OLD_");
    }

    sql.InsertSQL.push_back("insert into " + writeTable);
    sql.InsertSQL.push_back("  (" + joinList(sorted, "", true) + ")");
    sql.InsertSQL.push_back("values");
    sql.InsertSQL.push_back("  (" + joinList(sorted, ":", false) + ")");

    sql.DeleteSQL.push_back("delete from " + writeTable);
    sql.DeleteSQL.push_back("where");
    addKeyConditions(sql.DeleteSQL, shape.keys, "OLD_");

    return sql;
}
