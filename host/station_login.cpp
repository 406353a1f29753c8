#include "host/station_login.h"

#include "core/command_error.h"
#include "data/competition_io.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "results/results_schema.h"

#include <QRandomGenerator>

#include <regex>

namespace {

// Letters and digits only, so that nobody has to type a quote on a station.
std::string newPassword()
{
    static const char letters[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string word;
    for (int i = 0; i < 20; ++i)
        word += letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
    return word;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

} // namespace

void createStationLogin(const CompetitionLogin& organiser, const std::string& given,
                        const std::optional<std::string>& password, std::ostream& out)
{
    if (!IsServerDatabase(organiser.database))
        throw CommandError(organiser.database + " is a file of this computer: a station login is for a database "
                           "on a server (host/port:path)");
    static const std::regex plainName("[A-Za-z][A-Za-z0-9_$]{0,30}");
    if (!std::regex_match(given, plainName))
        throw CommandError("\"" + given + "\" cannot be a station login: a letter, then letters, digits, _ or $ "
                           "(31 at most)");
    std::string name = given;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    db::Connection connection;
    openCompetitionDatabase(connection, organiser);
    checkCompetitionSchema(connection, organiser.database);
    std::string told;
    try {
        const bool exists = rowExists(connection, "select 1 from SEC$USERS where SEC$USER_NAME = ?", name);
        db::Transaction transaction(&connection);
        if (!exists || password) {
            const std::string word = password ? *password : newPassword();
            connection.executeImmediate((exists ? "alter user " : "create user ") + name + " password "
                                            + quoted(word),
                                        transaction);
            if (!password)
                told = word;
        }
        for (const char* table : kStationReadTables)
            connection.executeImmediate(std::string("grant select on ") + table + " to user " + name, transaction);
        connection.executeImmediate(std::string("grant select, insert, update on ") + kStationWriteTable
                                        + " to user " + name,
                                    transaction);
        transaction.commit();
        connection.disconnect();
        if (exists && !password)
            out << "the user " << name << " exists on the server already and keeps its password\n";
    } catch (const db::DbError& e) {
        throw CommandError("cannot make the station login " + name + " on " + organiser.database + ": "
                           + oneLine(e.what()));
    }
    out << "the station login " << name << " may read the archers and write their arrows in "
        << organiser.database << "\n";
    if (!told.empty())
        out << "its password, shown only this once: " << told << "\n";
}
