#pragma once
// The four statements of a table's update object, written by one rule:
// refresh lists the columns in table order and selects by the key; modify
// and insert list the columns in alphabetical order; modify and delete find
// the row by the key's values before the edit (":OLD_" parameters).

#include "db/update_sql.h"

#include <string>
#include <vector>

struct TableStatementsShape {
    std::string table;                 // as it stands in the refresh statement
    std::vector<std::string> columns;  // in table order
    std::vector<std::string> keys;     // key columns, in key order
    std::string writeTable;            // modify/insert/delete name; empty: table
    bool modifyWithoutWhere = false;   // modify sets every row
};

db::UpdateSql MakeUpdateStatements(const TableStatementsShape& shape);

// A column as a statement names it: reserved words (CROSS) in double quotes.
std::string SqlColumn(const std::string& column);
