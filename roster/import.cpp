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
#include "core/latin1.h"
#include "roster/header_words.h"
#include "roster/name_table.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string_view>
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

struct ImportColumns {
    ColumnIndex columns;
    std::optional<int> firstName;   // joined to the name
    bool club = false;              // USERDEF1 holds the file's club column
};

// "Scheibe as LANENO": what the import took a header for, when it is not
// the column's own name.
std::string takenAs(const QString& header, const std::string& field)
{
    const std::string what = field == kClubField ? "the club (USERDEF1)"
                             : field == kFirstNameField ? "the first name (NAME as \"Name, First name\")"
                                                        : field;
    return "\"" + shown(header.trimmed()) + "\" as " + what;
}

// The field of one header: the map's, else the known words'.
std::optional<std::string> headerField(const QString& header, const std::map<QString, std::string>& map,
                                       std::set<QString>& mapUsed)
{
    const auto mapped = map.find(headerKey(header));
    if (mapped != map.end()) {
        mapUsed.insert(mapped->first);
        return mapped->second;
    }
    return fieldOfHeader(header);
}

// What the header row's reading tells the user afterwards.
struct HeaderNotes {
    std::string ignored;   // the first unknown columns, by name
    int ignoredCount = 0;
    std::string taken;     // the columns taken under a name other than their own
};

// An unknown column: refused under --strict, else noted and passed over.
void ignoreColumn(HeaderNotes& notes, const QString& name, int i, bool strict, const std::string& at)
{
    const std::string shownName = name.trimmed().isEmpty() ? "column " + std::to_string(i + 1) + " (no name)"
                                                           : "\"" + shown(name.trimmed()) + "\"";
    if (strict)
        throw CommandError(at + "unknown column " + shownName + "; the columns are " + archerColumnNames());
    if (++notes.ignoredCount <= kNamedIgnored)
        notes.ignored += (notes.ignored.empty() ? "" : ", ") + shownName;
}

// Column i holds field; no field is held twice, and the club goes to USERDEF1.
void takeColumn(ImportColumns& found, int i, const std::string& field, const std::string& at)
{
    if (field == kFirstNameField) {
        if (found.firstName)
            throw CommandError(at + "two columns hold the first name");
        found.firstName = i;
        return;
    }
    const bool club = field == kClubField;
    const ArcherColumn* column = findArcherColumn(QString::fromStdString(club ? "USERDEF1" : field));
    if (!found.columns.emplace(column, i).second)
        throw CommandError(at + (club || found.club ? "the club and USERDEF1 are both given; the club is kept in "
                                                      "USERDEF1"
                                                    : "column " + std::string(column->name) + " appears twice"));
    found.club = found.club || club;
}

// Every header --map names is one the header row has.
void checkMapUsed(const QString& columnMap, const std::set<QString>& mapUsed, const std::string& at)
{
    for (const QString& entry : columnMap.split(u',', Qt::SkipEmptyParts)) {
        const QString given = entry.left(entry.indexOf(u'=')).trimmed();
        if (!mapUsed.count(headerKey(given)))
            throw CommandError(at + "--map names the header \"" + shown(given) + "\", which the header row lacks");
    }
}

void checkRequiredColumns(const ImportFile& file, const ImportOptions& options, const ImportColumns& found,
                          const std::string& at)
{
    if (options.clubAsTeam && !found.club)
        throw CommandError(at + "--club-as-team needs a club column (Verein, Club)");
    std::vector<std::string> missing;
    for (const ArcherColumn& c : archerColumns()) {
        const bool countryByClub = options.clubAsTeam && std::string_view(c.name) == "COUNTRY";
        if (c.required && !found.columns.count(&c) && !countryByClub)
            missing.push_back(c.name);
    }
    if (missing.empty())
        return;
    std::string names;
    for (const std::string& m : missing)
        names += (names.empty() ? "" : ", ") + m;
    throw CommandError(at + (missing.size() == 1 ? "column " + names + " is missing" : "columns " + names + " are missing")
                       + " (the header has " + std::to_string(file.records.front().fields.size())
                       + " columns separated by " + separatorName(file.separator)
                       + "); name a header of your own with --map \"HEADER=COLUMN\"");
}

void addHeaderNotes(ImportSummary& summary, const std::string& where, HeaderNotes notes,
                    const ImportOptions& options, const ImportColumns& found)
{
    if (!notes.taken.empty())
        summary.notes.push_back("took the columns of " + where + ": " + notes.taken);
    if (notes.ignoredCount > kNamedIgnored)
        notes.ignored += " and " + std::to_string(notes.ignoredCount - kNamedIgnored) + " more";
    if (!notes.ignored.empty())
        summary.notes.push_back("ignored the unknown columns " + notes.ignored + " of " + where);
    if (options.clubAsTeam && found.columns.count(findArcherColumn(QStringLiteral("COUNTRY"))))
        summary.notes.push_back("the club names the team (COUNTRY); the file's country column is not used");
}

ImportColumns readHeader(const ImportFile& file, const ImportOptions& options, ImportSummary& summary)
{
    const CsvRecord& header = file.records.front();
    const std::string at = file.where + " line " + std::to_string(header.line) + ": ";
    const std::map<QString, std::string> map = parseColumnMap(options.columnMap);
    std::set<QString> mapUsed;
    ImportColumns found;
    HeaderNotes notes;
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString& name = header.fields[i];
        const std::optional<std::string> field = headerField(name, map, mapUsed);
        if (!field) {
            ignoreColumn(notes, name, i, options.strict, at);
            continue;
        }
        if (name.trimmed().toUpper().toStdString() != *field || *field == kClubField || *field == kFirstNameField)
            notes.taken += (notes.taken.empty() ? "" : ", ") + takenAs(name, *field);
        takeColumn(found, i, *field, at);
    }
    checkMapUsed(options.columnMap, mapUsed, at);
    checkRequiredColumns(file, options, found, at);
    addHeaderNotes(summary, file.where, std::move(notes), options, found);
    return found;
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
    RecordFields(const ImportColumns& columns, const CsvRecord& record) : columns_(columns), record_(record) {}

    QString raw(const char* name) const
    {
        const ArcherColumn* column = findArcherColumn(QString::fromLatin1(name));
        const auto it = columns_.columns.find(column);
        return it == columns_.columns.end() ? QString() : record_.fields[it->second];
    }
    bool has(const char* name) const { return columns_.columns.count(findArcherColumn(QString::fromLatin1(name))) != 0; }
    // The name, joined with a first name column as "Name, First name".
    std::string name() const
    {
        QString joined = raw("NAME").trimmed();
        if (columns_.firstName) {
            const QString first = record_.fields[*columns_.firstName].trimmed();
            if (!first.isEmpty())
                joined = joined.isEmpty() ? first : joined + QStringLiteral(", ") + first;
        }
        return textValue(column("NAME"), joined);
    }
    const ArcherColumn& column(const char* name) const { return *findArcherColumn(QString::fromLatin1(name)); }
    std::string text(const char* name) const { return textValue(column(name), raw(name)); }
    bool flag(const char* name) const { return flagValue(column(name), raw(name)); }

private:
    const ImportColumns& columns_;
    const CsvRecord& record_;
};

// The lane of the record: LANENO and LANELETTER, or without a LANELETTER
// column a lane such as "12A" in the lane number's column.
void readLane(const RecordFields& in, ArcherRow& row)
{
    if (in.has("LANELETTER")) {
        row.laneNo = laneNumberValue(in.column("LANENO"), in.raw("LANENO"));
        row.laneLetter = laneLettersValue(in.column("LANELETTER"), in.raw("LANELETTER"));
        return;
    }
    const QString raw = in.raw("LANENO").trimmed();
    const auto lane = parseLaneLabel(raw.toLatin1().toStdString());
    if (!lane || lane->second.empty() || raw.size() > 12)
        throw ValueError("LANENO \"" + shown(raw) + "\" is no lane such as 12A, and the file has no LANELETTER column");
    row.laneNo = lane->first;
    row.laneLetter = lane->second;
}

// The record as an archer row; ValueError for a value its column refuses.
ArcherRow readArcher(const RecordFields& in, int line, ImportTarget& target, const ImportOptions& options)
{
    ArcherRow row;
    readLane(in, row);
    if (const auto takenBy = target.takeLane(row.laneNo, row.laneLetter, line)) {
        const std::string lane = laneLabel(row.laneNo, row.laneLetter);
        if (*takenBy == 0)
            throw ValueError("lane " + lane + " already has an archer in the database");
        throw ValueError("lane " + lane + " is also given on line " + std::to_string(*takenBy));
    }
    row.lane = consistentLaneLabel(in.text("LANE"), row.laneNo, row.laneLetter);
    row.name = in.name();
    if (row.name.empty())
        throw ValueError("NAME is empty; every archer needs a name");
    row.sex = textValue(in.column("SEX"), normalisedSex(in.raw("SEX")));
    row.userDef1 = in.text("USERDEF1");
    row.userDef2 = in.text("USERDEF2");
    row.enableTeam = in.flag("ENABLETEAM");
    row.enableFinals = in.flag("ENABLEFINALS");
    // The club may name the team: teams are made by COUNTRY.
    const std::string team = options.clubAsTeam ? textValue(in.column("COUNTRY"), in.raw("USERDEF1"))
                                                : in.text("COUNTRY");
    row.countryNumber = target.lookup(target.countries, team);
    row.bowType = target.lookup(target.bowTypes, in.text("BOWTYPE"));
    row.ageClass = target.lookup(target.ageClasses, in.text("AGECLASS"));
    row.shootingClass = target.lookup(target.shootingClasses, in.text("SHOOTINGCLASS"));
    return row;
}

// A "?" inside a name is where a spreadsheet put a letter its encoding
// could not hold ("?esko"): stored as given, and told.
std::optional<std::string> lostLetterWarning(const std::string& where, int line, std::int32_t id, const std::string& name)
{
    if (name.find('?') == std::string::npos)
        return std::nullopt;
    return "warning: " + where + " line " + std::to_string(line) + ": archer " + std::to_string(id) + " \""
           + fromLatin1(name).toStdString() + "\" holds \"?\", where the spreadsheet may have lost a letter; "
           + "correct it with tallyon archer DB " + std::to_string(id) + " set NAME=...";
}

} // namespace

ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath, const ImportOptions& options)
{
    ImportSummary summary;
    const ImportFile file = readFile(csvPath, summary);
    const ImportColumns columns = readHeader(file, options, summary);
    const qsizetype headerFields = file.records.front().fields.size();

    db::Connection connection;
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);
    for (std::string& note : EnsureRosterKeys(connection, login.database))
        summary.notes.push_back(std::move(note));

    std::vector<std::string> warnings;   // told once the import stands
    std::size_t current = 0;   // the record being imported, for the messages
    const auto at = [&] { return file.where + " line " + std::to_string(file.records[current].line) + ": "; };
    const bool withStatus = columns.columns.count(findArcherColumn(QStringLiteral("STATUS"))) > 0;
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
            const ArcherRow row = readArcher(fields, record.line, target, options);
            const std::int32_t id = insertArcher(connection, transaction, row);
            if (auto warning = lostLetterWarning(file.where, record.line, id, row.name))
                warnings.push_back(std::move(*warning));
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
    for (std::string& warning : warnings)
        summary.notes.push_back(std::move(warning));
    return summary;
}
