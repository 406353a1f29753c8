#include "host/competition_io.h"

#include "data/competition_schema.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "host/csv.h"
#include "host/host_error.h"
#include "host/latin1.h"
#include "host/login.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace {

const std::array<const char*, 6> kCompetitionTables = {
    "ARCHER", "POINTS", "COUNTRY", "AGECLASS", "SHOOTINGCLASSES", "BOWTYPES"};

bool isLocal(const CompetitionLogin& login)
{
    return !isServerDatabase(login.database);
}

void refuseExisting(const CompetitionLogin& login)
{
    if (isLocal(login) && QFileInfo::exists(QString::fromStdString(login.database)))
        throw HostError(login.database + " already exists");
}

void createDatabase(const CompetitionLogin& login)
{
    refuseExisting(login);
    try {
        CreateCompetitionDatabase(login);
    } catch (const db::DbError& e) {
        throw HostError("cannot create " + login.database + ": " + oneLine(e.what()));
    }
}

// Removes the database that a failed command created: a local file, or a
// server's database through the server.
void removeCreated(const CompetitionLogin& login) noexcept
{
    if (isLocal(login)) {
        QFile::remove(QString::fromStdString(login.database));
        return;
    }
    try {
        db::Connection connection;
        connection.setDatabaseName(login.database);
        connection.params() = {"user_name=" + login.user, "password=" + login.password};
        connection.connect();
        connection.dropDatabase();
    } catch (const std::exception&) {
        // The first error is the one worth reporting.
    }
}

std::int32_t nextId(db::Connection& connection, db::Transaction& transaction, const char* generator)
{
    db::Query q(&connection, &transaction);
    q.sqlAdd(std::string("select gen_id(") + generator + ", 1) as ID from RDB$DATABASE");
    q.open();
    const std::int32_t id = q.fieldByName("ID").asInteger();
    q.close();
    return id;
}

// Name to number of one lookup table, creating the rows that are missing.
class NameTable {
public:
    NameTable(const char* table, const char* key, const char* name, const char* generator)
        : table_(table), key_(key), name_(name), generator_(generator) {}

    void load(db::Connection& connection, db::Transaction& transaction)
    {
        db::Query q(&connection, &transaction);
        q.sqlAdd(std::string("select ") + key_ + ", " + name_ + " from " + table_);
        q.open();
        for (q.first(); !q.eof(); q.next())
            numbers_.emplace(q.fieldByName(name_).asString(), q.fieldByName(key_).asInteger());
        q.close();
    }

    std::int32_t numberOf(const std::string& name, db::Connection& connection, db::Transaction& transaction)
    {
        if (auto it = numbers_.find(name); it != numbers_.end())
            return it->second;
        const std::int32_t number = nextId(connection, transaction, generator_);
        db::Statement insert(&connection, &transaction);
        insert.sqlAdd(std::string("insert into ") + table_ + " (" + key_ + ", " + name_ + ") values (?, ?)");
        insert.execute({db::Value(number), db::Value(name)});
        numbers_.emplace(name, number);
        ++created_;
        return number;
    }

    int created() const { return created_; }

private:
    const char* table_;
    const char* key_;
    const char* name_;
    const char* generator_;
    std::map<std::string, std::int32_t> numbers_;
    int created_ = 0;
};

NameTable countryTable() { return {"COUNTRY", "COUNTRYNUMBER", "NAME", "GEN_COUNTRY_ID"}; }
NameTable ageClassTable() { return {"AGECLASS", "AGECLASSNO", "DESCRIPTION", "GEN_AGECLASS_ID"}; }
NameTable shootingClassTable() { return {"SHOOTINGCLASSES", "SHOOTINGCLASSNO", "DESCRIPTION", "GEN_SHOOTINGCLASSES_ID"}; }
NameTable bowTypeTable() { return {"BOWTYPES", "TYPENO", "DESCRIPTION", "GEN_BOWTYPES_ID"}; }

// One archer as it goes into ARCHER; names of lookups already resolved.
struct ArcherRow {
    std::optional<std::int32_t> countryNumber;
    std::string name;
    std::string lane;
    std::string sex;
    std::string userDef1;
    std::string userDef2;
    std::optional<std::int32_t> bowType;
    std::optional<std::int32_t> ageClass;
    std::optional<std::int32_t> shootingClass;
    bool enableTeam = true;
    bool enableFinals = true;
    std::int32_t laneNo = 0;
    std::string laneLetter;
};

db::Value optionalNumber(const std::optional<std::int32_t>& v)
{
    return v ? db::Value(*v) : db::Value();
}

db::Value optionalText(const std::string& text)
{
    return text.empty() ? db::Value() : db::Value(text);
}

std::int32_t insertArcher(db::Connection& connection, db::Transaction& transaction, const ArcherRow& a)
{
    const std::int32_t id = nextId(connection, transaction, "GEN_ARCHER_ID");
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, USERDEF1, USERDEF2,");
    insert.sqlAdd("  BOWTYPE, AGECLASSNO, SHOOTINGCLASS, ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER)");
    insert.sqlAdd("values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.execute({db::Value(id), optionalNumber(a.countryNumber), db::Value(a.name), db::Value(a.lane),
                    optionalText(a.sex), optionalText(a.userDef1), optionalText(a.userDef2),
                    optionalNumber(a.bowType), optionalNumber(a.ageClass), optionalNumber(a.shootingClass),
                    db::Value(a.enableTeam ? "T" : "F"), db::Value(a.enableFinals ? "T" : "F"),
                    db::Value(a.laneNo), db::Value(a.laneLetter)});
    return id;
}

} // namespace

void openCompetitionDatabase(db::Connection& connection, const CompetitionLogin& login)
{
    if (isLocal(login)) {
        const QFileInfo file(QString::fromStdString(login.database));
        if (!file.exists())
            throw HostError("no such database file: " + login.database);
        if (!file.isFile())
            throw HostError(login.database + " is not a file");
    }
    connection.setDatabaseName(login.database);
    connection.params() = {"user_name=" + login.user, "password=" + login.password, "lc_ctype=ISO8859_1"};
    connection.setSqlDialect(3);
    try {
        connection.connect();
    } catch (const db::DbError& e) {
        throw HostError("cannot open " + login.database + ": " + oneLine(e.what()));
    }
}

void checkCompetitionSchema(db::Connection& connection, const std::string& database)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    q.sqlAdd("select trim(RDB$RELATION_NAME) as NAME from RDB$RELATIONS where RDB$SYSTEM_FLAG = 0");
    q.open();
    std::set<std::string> tables;
    for (q.first(); !q.eof(); q.next())
        tables.insert(q.fieldByName("NAME").asString());
    q.close();
    transaction.commit();
    for (const char* table : kCompetitionTables) {
        if (!tables.count(table))
            throw HostError(database + " is not a competition database (it has no table " + table + ")");
    }
}

void initCompetition(const CompetitionLogin& login)
{
    createDatabase(login);
}

namespace {

struct DemoArcher {
    const char* name;     // UTF-8
    const char* sex;
    int country;          // index into the demo countries; -1: a number without a row
    int bow;
    int ageClass;
    int shootingClass;
};

std::string latin1(const char* utf8)
{
    QString bad;
    auto bytes = toLatin1Exact(QString::fromUtf8(utf8), &bad);
    if (!bytes)
        throw HostError("demo text outside ISO 8859-1: " + bad.toStdString());
    return *bytes;
}

// A fixed sequence, so every demo competition is the same.
class DemoRandom {
public:
    std::uint32_t next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }

private:
    std::uint32_t state_ = 20260412u;
};

// 11 stands for an X, 0 for a miss. Skill 4 to 10: the better the archer,
// the closer the arrows stay to the ten.
int demoArrow(DemoRandom& random, int skill)
{
    if (random.below(80) == 0)
        return 0;
    const int spread = random.below(25) == 0 ? 10 : 3 + (10 - skill) / 2;
    const int score = std::max(1, 10 - random.below(spread));
    if (score == 10 && random.below(2) == 0)
        return 11;
    return score;
}

void fillDemo(db::Connection& connection, db::Transaction& transaction)
{
    const std::vector<const char*> countries = {
        "Deutschland", "Österreich", "Schweiz", "France", "España", "Danmark", "Sverige", "Ísland"};
    const std::vector<const char*> bowTypes = {"Recurve", "Compound", "Barebow"};
    const std::vector<const char*> ageClasses = {"Adult", "Junior (U21)", "Cadet (U18)", "Master (50+)"};
    const std::vector<const char*> shootingClasses = {"Men", "Women", "Open"};
    const std::vector<DemoArcher> archers = {
        {"Jürgen Müller", "M", 0, 0, 0, 0},        {"Åsa Öberg", "F", 6, 0, 0, 1},
        {"François Lefèvre", "M", 3, 1, 3, 0},     {"José Núñez", "M", 4, 0, 1, 0},
        {"Søren Kjærgaard", "M", 5, 2, 0, 0},      {"Zoë Brontë", "F", 3, 0, 2, 1},
        {"Björn Ångström", "M", 6, 1, 0, 0},       {"Ana Peña", "F", 4, 2, 0, 1},
        {"Ólafur Þórsson", "M", 7, 0, 3, 0},       {"Hélène Dubé", "F", 3, 1, 0, 1},
        {"Günther Weiß", "M", 1, 0, 3, 0},         {"Maëlle Dufaÿ", "F", 3, 0, 1, 1},
        {"Íris Sigurðardóttir", "F", 7, 1, 1, 1},  {"Märta Lindqvist", "F", 6, 0, 0, 1},
        {"Jörg Schäfer", "M", 2, 2, 0, 0},         {"Léa Bérénice Roux", "F", 3, 0, 2, 1},
        {"Iñigo Muñoz", "M", 4, 1, 0, 0},          {"Ærlig Jørgensen", "M", 5, 0, 0, 0},
        {"Anaïs Gaëlle", "F", 3, 2, 3, 1},         {"Stefan Unbekannt", "M", -1, 0, 0, 2},
        {"Renée Dürr", "F", 1, 0, 0, 1},           {"Tomás Ibáñez", "M", 4, 0, 3, 0},
        {"Liselotte Größ", "F", 0, 1, 3, 1},       {"Mikkel Østergaard", "M", 5, 1, 1, 0},
        {"Céline Château", "F", 2, 0, 0, 1},       {"Þóra Guðmundsdóttir", "F", 7, 2, 0, 1},
        {"Urs Zürcher", "M", 2, 0, 1, 0},          {"Noël Crémieux", "M", 3, 0, 0, 2},
        {"Sönke Lüders", "M", 0, 2, 3, 0},         {"Inés Galán", "F", 4, 1, 0, 1},
        {"Håkan Sjöström", "M", 6, 0, 0, 0},       {"Benoît Grégoire", "M", 3, 1, 2, 0},
        {"Karin Mähler", "F", 1, 0, 1, 1},         {"Rasmus Bæk", "M", 5, 0, 2, 0},
        {"Chloé Aubépine", "F", 3, 0, 0, 1},       {"Björk Hjálmarsdóttir", "F", 7, 0, 0, 2},
        {"Matthäus Kühn", "M", 0, 1, 0, 0},        {"Begoña Íñiguez", "F", 4, 2, 0, 1},
        {"Ingrid Ødegård", "F", 5, 0, 3, 1},       {"Rüdiger Füßli", "M", 2, 0, 0, 0},
    };

    NameTable countryNames = countryTable();
    NameTable bowNames = bowTypeTable();
    NameTable ageNames = ageClassTable();
    NameTable shootingNames = shootingClassTable();
    std::vector<std::int32_t> countryNo, bowNo, ageNo, shootingNo;
    for (const char* c : countries)
        countryNo.push_back(countryNames.numberOf(latin1(c), connection, transaction));
    for (const char* b : bowTypes)
        bowNo.push_back(bowNames.numberOf(latin1(b), connection, transaction));
    for (const char* a : ageClasses)
        ageNo.push_back(ageNames.numberOf(latin1(a), connection, transaction));
    for (const char* s : shootingClasses)
        shootingNo.push_back(shootingNames.numberOf(latin1(s), connection, transaction));

    db::Statement competition(&connection, &transaction);
    competition.sqlAdd("insert into COMPETITION (NAME, PLACE, CONTESTTYPE, STARTDATE, FINISHEDDATE,");
    competition.sqlAdd("  RANGELASTLETTER, RANGENUMBERLANES) values (?, ?, ?, current_date, null, ?, ?)");
    competition.execute({db::Value(latin1("Hallenturnier am Mühlbach")), db::Value(latin1("Sporthalle Süd")),
                         db::Value("FITA Indoor"), db::Value("D"), db::Value(14)});

    // Lanes 1-4 hold A to D, lanes 5-8 A to C, lanes 9-14 A and B: 40 archers.
    std::vector<std::pair<int, char>> lanes;
    for (int lane = 1; lane <= 14; ++lane) {
        const char last = lane <= 4 ? 'D' : lane <= 8 ? 'C' : 'B';
        for (char letter = 'A'; letter <= last; ++letter)
            lanes.emplace_back(lane, letter);
    }

    DemoRandom random;
    db::Statement point(&connection, &transaction);
    point.sqlAdd("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE)");
    point.sqlAdd("values (?, ?, ?, ?, ?, 'F')");
    for (std::size_t i = 0; i < archers.size() && i < lanes.size(); ++i) {
        const DemoArcher& d = archers[i];
        ArcherRow row;
        row.countryNumber = d.country < 0 ? 99 : countryNo[std::size_t(d.country)];
        row.name = latin1(d.name);
        row.laneNo = lanes[i].first;
        row.laneLetter = std::string(1, lanes[i].second);
        row.lane = std::to_string(row.laneNo) + row.laneLetter;
        row.sex = d.sex;
        row.bowType = bowNo[std::size_t(d.bow)];
        row.ageClass = ageNo[std::size_t(d.ageClass)];
        row.shootingClass = shootingNo[std::size_t(d.shootingClass)];
        row.enableTeam = i % 7 != 3;
        row.enableFinals = i % 11 != 5;
        const std::int32_t id = insertArcher(connection, transaction, row);

        // Every other archer has both rounds, every fourth the first only.
        const int rounds = i % 4 == 0 || i % 4 == 1 ? 2 : i % 4 == 2 ? 1 : 0;
        const int skill = 4 + int(i % 7);
        for (int round = 1; round <= rounds; ++round) {
            for (int arrow = 1; arrow <= 30; ++arrow) {
                const int value = demoArrow(random, skill);
                point.execute({db::Value(id), db::Value(round), db::Value(arrow),
                               db::Value(value == 11 ? 10 : value), db::Value(value == 11 ? "T" : "F")});
            }
        }
    }
}

} // namespace

void createDemoCompetition(const CompetitionLogin& login)
{
    createDatabase(login);
    try {
        db::Connection connection;
        openCompetitionDatabase(connection, login);
        db::Transaction transaction(&connection);
        fillDemo(connection, transaction);
        transaction.commit();
        connection.disconnect();
    } catch (const db::DbError& e) {
        removeCreated(login);
        throw HostError("cannot fill " + login.database + ": " + oneLine(e.what()));
    } catch (...) {
        removeCreated(login);
        throw;
    }
}

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

} // namespace

ImportSummary importArchers(const CompetitionLogin& login, const QString& csvPath)
{
    const std::string where = QFileInfo(csvPath).fileName().toStdString();
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

    // The header names the columns, in any order.
    std::map<QString, int> columns;
    const CsvRecord& header = records.front();
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

    db::Connection connection;
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);

    ImportSummary summary;
    std::size_t current = 0;   // the record being imported, for server errors
    try {
        db::Transaction transaction(&connection);
        NameTable countries = countryTable();
        NameTable bowTypes = bowTypeTable();
        NameTable ageClasses = ageClassTable();
        NameTable shootingClasses = shootingClassTable();
        for (NameTable* t : {&countries, &bowTypes, &ageClasses, &shootingClasses})
            t->load(connection, transaction);

        // Lanes in use, with the line that took them (0: the database).
        std::map<std::pair<std::int32_t, std::string>, int> lanesTaken;
        {
            db::Query q(&connection, &transaction);
            q.sqlAdd("select LANENO, LANELETTER from ARCHER");
            q.open();
            for (q.first(); !q.eof(); q.next())
                lanesTaken.emplace(std::pair(q.fieldByName("LANENO").asInteger(), q.fieldByName("LANELETTER").asString()), 0);
            q.close();
        }

        const auto lookup = [&](NameTable& table, const std::string& name) -> std::optional<std::int32_t> {
            if (name.empty())
                return std::nullopt;
            return table.numberOf(name, connection, transaction);
        };

        for (current = 1; current < records.size(); ++current) {
            const CsvRecord& record = records[current];
            RecordReader in(columns, record, where);
            if (record.fields.size() != header.fields.size())
                in.fail(std::to_string(record.fields.size()) + " fields where the header has "
                        + std::to_string(header.fields.size()));
            ArcherRow row;
            row.laneNo = in.number("LANENO");
            row.laneLetter = in.text(importColumn("LANELETTER"), true);
            if (row.laneLetter.empty()
                || !std::all_of(row.laneLetter.begin(), row.laneLetter.end(),
                                [](char c) { return c >= 'A' && c <= 'Z'; }))
                in.fail("LANELETTER \"" + in.raw("LANELETTER").toStdString() + "\" is not a letter A to Z");
            const auto [taken, isNew] = lanesTaken.emplace(std::pair(row.laneNo, row.laneLetter), record.line);
            if (!isNew) {
                const std::string lane = std::to_string(row.laneNo) + row.laneLetter;
                if (taken->second == 0)
                    in.fail("lane " + lane + " already has an archer in the database");
                in.fail("lane " + lane + " is also given on line " + std::to_string(taken->second));
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
            row.countryNumber = lookup(countries, in.text(importColumn("COUNTRY")));
            row.bowType = lookup(bowTypes, in.text(importColumn("BOWTYPE")));
            row.ageClass = lookup(ageClasses, in.text(importColumn("AGECLASS")));
            row.shootingClass = lookup(shootingClasses, in.text(importColumn("SHOOTINGCLASS")));
            insertArcher(connection, transaction, row);
            ++summary.archers;
        }
        transaction.commit();
        summary.countries = countries.created();
        summary.bowTypes = bowTypes.created();
        summary.ageClasses = ageClasses.created();
        summary.shootingClasses = shootingClasses.created();
    } catch (const db::DbError& e) {
        const int line = current < records.size() ? records[current].line : 0;
        throw HostError(where + (line ? " line " + std::to_string(line) : std::string()) + ": "
                        + oneLine(e.what()));
    }
    connection.disconnect();
    return summary;
}
