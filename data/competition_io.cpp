#include "data/competition_io.h"

#include "data/competition_schema.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "core/command_error.h"

#include <QFile>
#include <QFileInfo>

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

} // namespace

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
        throw CommandError("cannot open " + login.database + ": " + oneLine(e.what()));
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
    } catch (const db::DbError& e) {
        throw CommandError("cannot create " + login.database + ": " + oneLine(e.what()));
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
