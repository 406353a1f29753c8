#include "roster/import.h"

#include "data/archer_status.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "roster/archer_columns.h"
#include "roster/archer_row.h"
#include "data/competition_io.h"
#include "data/competition_schema.h"
#include "roster/csv.h"
#include "core/command_error.h"
#include "roster/name_table.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace {

// A list of archers is far smaller; a larger file is no list of archers.
constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;
// The note on ignored columns names this many.
constexpr int kNamedIgnored = 8;

std::string separatorName(QChar separator)
{
    return separator == u'\t' ? "tabs" : separator == u';' ? "semicolons" : "commas";
}

struct ImportFile {
    std::string where;                  // the file's name, for messages
    std::vector<CsvRecord> records;     // the header first
    QChar separator;
};

bool isBlank(const CsvRecord& record)
{
    return std::all_of(record.fields.begin(), record.fields.end(),
                       [](const QString& f) { return f.trimmed().isEmpty(); });
}

ImportFile readFile(const QString& csvPath, ImportSummary& summary)
{
    ImportFile in;
    in.where = QFileInfo(csvPath).fileName().toStdString();
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly))
        throw CommandError("cannot read " + csvPath.toStdString() + ": " + file.errorString().toStdString());
    if (file.size() > kMaxFileBytes)
        throw CommandError(in.where + " is larger than " + std::to_string(kMaxFileBytes / (1024 * 1024))
                        + " MB; a list of archers is far smaller");
    try {
        const DecodedText decoded = decodeCsvText(file.read(kMaxFileBytes + 1));
        if (decoded.encoding == CsvEncoding::Windows1252)
            summary.notes.push_back(in.where + " is not UTF-8: read it as Windows-1252");
        bool sepLine = false;
        in.separator = detectSeparator(decoded.text, &sepLine);
        std::vector<CsvRecord> parsed = parseCsv(decoded.text, in.separator);
        // A spreadsheet's "sep=;" line, and rows left empty, carry no archer.
        const std::size_t first = sepLine && !parsed.empty() && parsed.front().line == 1 ? 1 : 0;
        for (std::size_t i = first; i < parsed.size(); ++i) {
            if (in.records.empty() || !isBlank(parsed[i]))
                in.records.push_back(std::move(parsed[i]));
        }
    } catch (const CsvError& e) {
        throw CommandError(in.where + " line " + std::to_string(e.line()) + ": " + e.what());
    }
    if (in.records.empty())
        throw CommandError(in.where + " is empty: it needs a header row");
    return in;
}

// The header names the columns, in any order: column to field index.
using ColumnIndex = std::map<const ArcherColumn*, int>;

ColumnIndex readHeader(const ImportFile& file, const ImportOptions& options, ImportSummary& summary)
{
    const CsvRecord& header = file.records.front();
    const std::string at = file.where + " line " + std::to_string(header.line) + ": ";
    ColumnIndex columns;
    std::string ignored;
    int ignoredCount = 0;
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString& name = header.fields[i];
        const ArcherColumn* column = findArcherColumn(name);
        if (!column) {
            const std::string shownName = name.trimmed().isEmpty() ? "column " + std::to_string(i + 1) + " (no name)"
                                                                   : "\"" + shown(name.trimmed()) + "\"";
            if (options.strict)
                throw CommandError(at + "unknown column " + shownName + "; the columns are " + archerColumnNames());
            if (++ignoredCount <= kNamedIgnored)
                ignored += (ignored.empty() ? "" : ", ") + shownName;
            continue;
        }
        if (!columns.emplace(column, i).second)
            throw CommandError(at + "column " + column->name + " appears twice");
    }
    for (const ArcherColumn& c : archerColumns()) {
        if (c.required && !columns.count(&c))
            throw CommandError(at + "column " + c.name + " is missing (the header has "
                            + std::to_string(header.fields.size()) + " columns separated by "
                            + separatorName(file.separator) + ")");
    }
    if (ignoredCount > kNamedIgnored)
        ignored += " and " + std::to_string(ignoredCount - kNamedIgnored) + " more";
    if (!ignored.empty())
        summary.notes.push_back("ignored the unknown columns " + ignored + " of " + file.where);
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
            lanesTaken_.emplace(std::pair(q.fieldByName("LANENO").asInteger(), q.fieldByName("LANELETTER").asString()),
                                0);
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

// One record's fields by column; a column the file lacks reads empty.
class RecordFields {
public:
    RecordFields(const ColumnIndex& columns, const CsvRecord& record) : columns_(columns), record_(record) {}

    QString raw(const char* name) const
    {
        const ArcherColumn* column = findArcherColumn(QString::fromLatin1(name));
        const auto it = columns_.find(column);
        return it == columns_.end() ? QString() : record_.fields[it->second];
    }
    const ArcherColumn& column(const char* name) const { return *findArcherColumn(QString::fromLatin1(name)); }
    std::string text(const char* name) const { return textValue(column(name), raw(name)); }
    bool flag(const char* name) const { return flagValue(column(name), raw(name)); }

private:
    const ColumnIndex& columns_;
    const CsvRecord& record_;
};

// The record as an archer row; ValueError for a value its column refuses.
ArcherRow readArcher(const RecordFields& in, int line, ImportTarget& target)
{
    ArcherRow row;
    row.laneNo = laneNumberValue(in.column("LANENO"), in.raw("LANENO"));
    row.laneLetter = laneLettersValue(in.column("LANELETTER"), in.raw("LANELETTER"));
    if (const auto takenBy = target.takeLane(row.laneNo, row.laneLetter, line)) {
        const std::string lane = laneLabel(row.laneNo, row.laneLetter);
        if (*takenBy == 0)
            throw ValueError("lane " + lane + " already has an archer in the database");
        throw ValueError("lane " + lane + " is also given on line " + std::to_string(*takenBy));
    }
    row.lane = consistentLaneLabel(in.text("LANE"), row.laneNo, row.laneLetter);
    row.name = in.text("NAME");
    if (row.name.empty())
        throw ValueError("NAME is empty; every archer needs a name");
    row.sex = in.text("SEX");
    row.userDef1 = in.text("USERDEF1");
    row.userDef2 = in.text("USERDEF2");
    row.enableTeam = in.flag("ENABLETEAM");
    row.enableFinals = in.flag("ENABLEFINALS");
    row.countryNumber = target.lookup(target.countries, in.text("COUNTRY"));
    row.bowType = target.lookup(target.bowTypes, in.text("BOWTYPE"));
    row.ageClass = target.lookup(target.ageClasses, in.text("AGECLASS"));
    row.shootingClass = target.lookup(target.shootingClasses, in.text("SHOOTINGCLASS"));
    return row;
}

} // namespace

ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath, const ImportOptions& options)
{
    ImportSummary summary;
    const ImportFile file = readFile(csvPath, summary);
    const ColumnIndex columns = readHeader(file, options, summary);
    const qsizetype headerFields = file.records.front().fields.size();

    db::Connection connection;
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);
    for (std::string& note : EnsureRosterKeys(connection, login.database))
        summary.notes.push_back(std::move(note));

    std::size_t current = 0;   // the record being imported, for the messages
    const auto at = [&] { return file.where + " line " + std::to_string(file.records[current].line) + ": "; };
    const bool withStatus = columns.count(findArcherColumn(QStringLiteral("STATUS"))) > 0;
    if (withStatus)
        ensureArcherStatusTable(connection);
    try {
        db::Transaction transaction(&connection);
        ImportTarget target(connection, transaction);
        for (current = 1; current < file.records.size(); ++current) {
            const CsvRecord& record = file.records[current];
            if (record.fields.size() != headerFields)
                throw CommandError(at() + std::to_string(record.fields.size()) + " fields where the header has "
                                + std::to_string(headerFields) + " (separated by " + separatorName(file.separator)
                                + ")");
            const RecordFields fields(columns, record);
            const std::int32_t id = insertArcher(connection, transaction, readArcher(fields, record.line, target));
            if (withStatus) {
                const auto status = archerStatusFromText(fields.text("STATUS"));
                if (!status)
                    throw ValueError("STATUS \"" + fields.text("STATUS") + "\" is none of DNS, DNF, DSQ or empty");
                if (!status->empty())
                    writeArcherStatus(connection, transaction, id, *status);
            }
            ++summary.archers;
        }
        transaction.commit();
        summary.countries = target.countries.created();
        summary.bowTypes = target.bowTypes.created();
        summary.ageClasses = target.ageClasses.created();
        summary.shootingClasses = target.shootingClasses.created();
    } catch (const ValueError& e) {
        throw CommandError(at() + e.what());
    } catch (const db::DbError& e) {
        const std::string where = current < file.records.size() ? at() : file.where + ": ";
        throw CommandError(where + oneLine(e.what()));
    }
    connection.disconnect();
    return summary;
}
