#include "host/import.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "host/archer_row.h"
#include "host/competition_io.h"
#include "host/csv.h"
#include "host/host_error.h"
#include "host/latin1.h"
#include "host/name_table.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct ImportColumn {
    const char* name;
    bool required;
    int maxLength;       // 0: a number or a flag
};

const std::array<ImportColumn, 13> kImportColumns = {{
    {"LANENO", true, 0},          {"LANELETTER", true, 2},    {"LANE", true, 10},
    {"NAME", true, 80},           {"SEX", true, 10},          {"COUNTRY", true, 80},
    {"BOWTYPE", true, 60},        {"AGECLASS", true, 60},     {"SHOOTINGCLASS", true, 60},
    {"USERDEF1", false, 60},      {"USERDEF2", false, 60},    {"ENABLETEAM", false, 0},
    {"ENABLEFINALS", false, 0},
}};

std::optional<bool> parseFlag(const QString& text)
{
    const QString t = text.trimmed().toUpper();
    if (t.isEmpty())
        return true;
    if (t == u"T" || t == u"Y" || t == u"J" || t == u"1" || t == u"TRUE" || t == u"YES")
        return true;
    if (t == u"F" || t == u"N" || t == u"0" || t == u"FALSE" || t == u"NO")
        return false;
    return std::nullopt;
}

// Reads one record's columns, each checked as the column wants it.
class RecordReader {
public:
    RecordReader(const std::map<QString, int>& columns, const CsvRecord& record, const std::string& where)
        : columns_(columns), record_(record), where_(where) {}

    [[noreturn]] void fail(const std::string& message) const
    {
        throw HostError(where_ + " line " + std::to_string(record_.line) + ": " + message);
    }

    QString raw(const char* column) const
    {
        const auto it = columns_.find(QString::fromLatin1(column));
        return it == columns_.end() ? QString() : record_.fields[it->second];
    }

    // The column's text without surrounding spaces, in ISO 8859-1.
    std::string text(const ImportColumn& column, bool upper = false) const
    {
        QString value = raw(column.name).trimmed();
        if (upper)
            value = value.toUpper();
        QString bad;
        const auto bytes = toLatin1Exact(value, &bad);
        if (!bytes)
            fail(std::string(column.name) + " holds \"" + bad.toStdString()
                 + "\", which ISO 8859-1 cannot hold");
        if (column.maxLength > 0 && value.size() > column.maxLength)
            fail(std::string(column.name) + " is longer than " + std::to_string(column.maxLength)
                 + " characters");
        return *bytes;
    }

    std::int32_t number(const char* column) const
    {
        const QString value = raw(column).trimmed();
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok || n < 1)
            fail(std::string(column) + " \"" + raw(column).toStdString() + "\" is not a positive whole number");
        return n;
    }

    bool flag(const char* column) const
    {
        const auto v = parseFlag(raw(column));
        if (!v)
            fail(std::string(column) + " \"" + raw(column).toStdString() + "\" is neither T nor F");
        return *v;
    }

private:
    const std::map<QString, int>& columns_;
    const CsvRecord& record_;
    std::string where_;
};

const ImportColumn& importColumn(const char* name)
{
    for (const ImportColumn& c : kImportColumns) {
        if (std::string_view(c.name) == name)
            return c;
    }
    throw std::logic_error("no import column " + std::string(name));
}

// The file's records, the header first.
std::vector<CsvRecord> readRecords(const QString& csvPath, const std::string& where)
{
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly))
        throw HostError("cannot read " + csvPath.toStdString() + ": " + file.errorString().toStdString());
    std::vector<CsvRecord> records;
    try {
        records = parseCsv(decodeUtf8(file.readAll()));
    } catch (const CsvError& e) {
        throw HostError(where + " line " + std::to_string(e.line()) + ": " + e.what());
    }
    if (records.empty())
        throw HostError(where + " is empty: it needs a header row");
    return records;
}

// The header names the columns, in any order: column name to field index.
std::map<QString, int> readHeader(const CsvRecord& header, const std::string& where)
{
    std::map<QString, int> columns;
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString name = header.fields[i].trimmed().toUpper();
        const bool known = std::any_of(kImportColumns.begin(), kImportColumns.end(),
                                       [&](const ImportColumn& c) { return name == QLatin1String(c.name); });
        if (!known)
            throw HostError(where + " line " + std::to_string(header.line) + ": unknown column \""
                            + header.fields[i].toStdString() + "\"");
        if (!columns.emplace(name, i).second)
            throw HostError(where + " line " + std::to_string(header.line) + ": column " + name.toStdString()
                            + " appears twice");
    }
    for (const ImportColumn& c : kImportColumns) {
        if (c.required && !columns.count(QString::fromLatin1(c.name)))
            throw HostError(where + " line " + std::to_string(header.line) + ": column " + c.name + " is missing");
    }
    return columns;
}

// The lookup tables and the lanes in use, with what the import adds to them.
class ImportTarget {
public:
    ImportTarget(db::Connection& connection, db::Transaction& transaction)
        : connection_(connection), transaction_(transaction)
    {
        for (NameTable* t : {&countries, &bowTypes, &ageClasses, &shootingClasses})
            t->load(connection, transaction);
        db::Query q(&connection, &transaction);
        q.sqlAdd("select LANENO, LANELETTER from ARCHER");
        q.open();
        for (q.first(); !q.eof(); q.next())
            lanesTaken_.emplace(std::pair(q.fieldByName("LANENO").asInteger(), q.fieldByName("LANELETTER").asString()), 0);
        q.close();
    }

    // The number of a name, nothing for an empty one.
    std::optional<std::int32_t> lookup(NameTable& table, const std::string& name)
    {
        if (name.empty())
            return std::nullopt;
        return table.numberOf(name, connection_, transaction_);
    }

    // Takes the lane for the record's line; the line that took it before
    // (0: the database), or nothing when it was free.
    std::optional<int> takeLane(std::int32_t laneNo, const std::string& letter, int line)
    {
        const auto [taken, isNew] = lanesTaken_.emplace(std::pair(laneNo, letter), line);
        if (isNew)
            return std::nullopt;
        return taken->second;
    }

    NameTable countries = countryTable();
    NameTable bowTypes = bowTypeTable();
    NameTable ageClasses = ageClassTable();
    NameTable shootingClasses = shootingClassTable();

private:
    db::Connection& connection_;
    db::Transaction& transaction_;
    std::map<std::pair<std::int32_t, std::string>, int> lanesTaken_;
};

ArcherRow readArcher(const RecordReader& in, const CsvRecord& record, int headerFields, ImportTarget& target)
{
    if (record.fields.size() != headerFields)
        in.fail(std::to_string(record.fields.size()) + " fields where the header has "
                + std::to_string(headerFields));
    ArcherRow row;
    row.laneNo = in.number("LANENO");
    row.laneLetter = in.text(importColumn("LANELETTER"), true);
    if (row.laneLetter.empty()
        || !std::all_of(row.laneLetter.begin(), row.laneLetter.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        in.fail("LANELETTER \"" + in.raw("LANELETTER").toStdString() + "\" is not a letter A to Z");
    if (const auto takenBy = target.takeLane(row.laneNo, row.laneLetter, record.line)) {
        const std::string lane = std::to_string(row.laneNo) + row.laneLetter;
        if (*takenBy == 0)
            in.fail("lane " + lane + " already has an archer in the database");
        in.fail("lane " + lane + " is also given on line " + std::to_string(*takenBy));
    }
    row.lane = in.text(importColumn("LANE"));
    if (row.lane.empty())
        row.lane = std::to_string(row.laneNo) + row.laneLetter;
    row.name = in.text(importColumn("NAME"));
    if (row.name.empty())
        in.fail("NAME is empty");
    row.sex = in.text(importColumn("SEX"));
    row.userDef1 = in.text(importColumn("USERDEF1"));
    row.userDef2 = in.text(importColumn("USERDEF2"));
    row.enableTeam = in.flag("ENABLETEAM");
    row.enableFinals = in.flag("ENABLEFINALS");
    row.countryNumber = target.lookup(target.countries, in.text(importColumn("COUNTRY")));
    row.bowType = target.lookup(target.bowTypes, in.text(importColumn("BOWTYPE")));
    row.ageClass = target.lookup(target.ageClasses, in.text(importColumn("AGECLASS")));
    row.shootingClass = target.lookup(target.shootingClasses, in.text(importColumn("SHOOTINGCLASS")));
    return row;
}

} // namespace

ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath)
{
    const std::string where = QFileInfo(csvPath).fileName().toStdString();
    const std::vector<CsvRecord> records = readRecords(csvPath, where);
    const CsvRecord& header = records.front();
    const std::map<QString, int> columns = readHeader(header, where);

    db::Connection connection;
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);

    ImportSummary summary;
    std::size_t current = 0;   // the record being imported, for server errors
    try {
        db::Transaction transaction(&connection);
        ImportTarget target(connection, transaction);
        for (current = 1; current < records.size(); ++current) {
            const CsvRecord& record = records[current];
            const RecordReader in(columns, record, where);
            insertArcher(connection, transaction, readArcher(in, record, int(header.fields.size()), target));
            ++summary.archers;
        }
        transaction.commit();
        summary.countries = target.countries.created();
        summary.bowTypes = target.bowTypes.created();
        summary.ageClasses = target.ageClasses.created();
        summary.shootingClasses = target.shootingClasses.created();
    } catch (const db::DbError& e) {
        const int line = current < records.size() ? records[current].line : 0;
        throw HostError(where + (line ? " line " + std::to_string(line) : std::string()) + ": "
                        + oneLine(e.what()));
    }
    connection.disconnect();
    return summary;
}
