#include "data/competition_io.h"

#include "data/competition_schema.h"
#include "data/table_shapes.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "core/command_error.h"

#include <QFile>
#include <QFileInfo>

#if !defined(_WIN32)
#  include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>
#include <array>
#include <set>
#include <vector>

namespace {

const std::array<const char*, 6> kCompetitionTables = {
    "ARCHER", "POINTS", "COUNTRY", "AGECLASS", "SHOOTINGCLASSES", "BOWTYPES"};

bool isLocal(const CompetitionLogin& login)
{
    return !IsServerDatabase(login.database);
}

// The engine makes its files readable and writable by the group whatever
// the umask says; a new competition file gets the mode every other new
// file of the user gets (600 under umask 077, 644 under 022).
void applyUmask(const std::string& file)
{
#if !defined(_WIN32)
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::chmod(file.c_str(), 0666 & ~mask) != 0)
        throw CommandError("cannot set the mode of " + file + ": " + std::strerror(errno));
#else
    (void)file;
#endif
}

} // namespace

std::string damagedText(const std::string& database, const std::string& what, const db::DbError& error)
{
    return database + " is damaged (" + what + "); do not enter arrows into it, restore it from a backup ("
        + oneLine(error.what()) + ")";
}

namespace {

// Reads every row of every competition table once, so that a damaged page
// is found before anything is shown or stored, not half-way through.
void checkCompetitionReadable(db::Connection& connection, const std::string& database)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    // Each table row by row, then through its key's index (a range on the
    // first key column makes the engine walk the index), and the lane index.
    std::vector<std::pair<std::string, std::string>> reads;
    for (const TableShape* shape : {&kArcherShape, &kPointsShape, &kCountryShape, &kAgeClassShape,
                                    &kShootingClassesShape, &kBowTypesShape}) {
        const std::string from = std::string(" from ") + shape->table;
        reads.emplace_back(shape->table, "select count(*) as N" + from);
        reads.emplace_back(shape->table, "select count(*) as N" + from + " where " + shape->keys.front()
                                             + " >= -2147483648");
    }
    reads.emplace_back("ARCHER", "select count(*) as N from ARCHER where LANENO >= -2147483648");
    for (const auto& [table, select] : reads) {
        try {
            q.sqlClear();
            q.sqlAdd(select);
            q.open();
            q.close();
        } catch (const db::DbError& e) {
            if (e.tellsOfDamage())
                throw CommandError(damagedText(database, "reading " + table + " failed", e));
            if (e.isPermissionDenied())
                continue; // a login without the right reads what it may
            throw;
        }
    }
    transaction.commit();
}

} // namespace

std::string cannotOpenText(const CompetitionLogin& login, const db::DbError& error)
{
    const ServerAddress server = ServerAddressOf(login.database);
    const bool unreached = error.isNetworkFailure();
    if (error.tellsOfDamage())
        return damagedText(login.database, "opening it failed", error);
    if (server.host.empty() || !unreached)
        return "cannot open " + login.database + ": " + oneLine(error.what());
    const std::string port = server.port.empty() ? std::string() : " port " + server.port;
    return "cannot open " + login.database + ": no answer from the Firebird server " + server.host + port
        + " (waited at most " + std::to_string(kServerConnectTimeout.count())
        + " seconds); check that the server runs there, that the host name and port are right and that the "
          "network lets the port through (" + oneLine(error.what()) + ")";
}

void openCompetitionDatabase(db::Connection& connection, const CompetitionLogin& login)
{
    if (isLocal(login)) {
        const QFileInfo file(QString::fromStdString(login.database));
        if (!file.exists())
            throw CommandError("no such database file: " + login.database);
        if (!file.isFile())
            throw CommandError(login.database + " is not a file");
    }
    SetCompetitionLogin(connection, login);
    try {
        connection.connect();
    } catch (const db::DbError& e) {
        throw CommandError(cannotOpenText(login, e));
    }
    try {
        checkCompetitionReadable(connection, login.database);
    } catch (const db::DbError&) {
        // Not damage (a table missing, say): the schema check names it.
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
            throw CommandError(database + " is not a competition database (it has no table " + table + ")");
    }
    // A table without a column the points window writes would fail only at
    // the first save, with the window then unable to close.
    const std::vector<std::string> missing = MissingCompetitionColumns(connection);
    if (!missing.empty()) {
        std::string names;
        for (const std::string& m : missing)
            names += (names.empty() ? "" : ", ") + m;
        throw CommandError(database + " is not a competition database of this program (it lacks the column"
                        + (missing.size() == 1 ? " " : "s ") + names + ")");
    }
}

void initCompetition(const CompetitionLogin& login)
{
    if (isLocal(login) && QFileInfo::exists(QString::fromStdString(login.database)))
        throw CommandError(login.database + " already exists");
    try {
        CreateCompetitionDatabase(login);
        if (isLocal(login))
            applyUmask(login.database);
    } catch (const db::DbError& e) {
        std::string text = cannotOpenText(login, e);
        const std::string open = "cannot open ";
        if (text.compare(0, open.size(), open) == 0)
            text = "cannot create " + text.substr(open.size());
        throw CommandError(text);
    }
}

void removeCreated(const CompetitionLogin& login) noexcept
{
    if (isLocal(login)) {
        QFile::remove(QString::fromStdString(login.database));
        return;
    }
    try {
        db::Connection connection;
        SetCompetitionLogin(connection, login);
        connection.connect();
        connection.dropDatabase();
    } catch (const std::exception&) {
        // The first error is the one worth reporting.
    }
}
