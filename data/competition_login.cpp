#include "data/competition_login.h"

#include "db/connection.h"

#include <regex>

std::vector<std::string> CompetitionLoginParams(const CompetitionLogin& login)
{
    return {"user_name=" + login.user, "password=" + login.password, "lc_ctype=ISO8859_1"};
}

void SetCompetitionLogin(db::Connection& connection, const CompetitionLogin& login)
{
    connection.setDatabaseName(login.database);
    connection.params() = CompetitionLoginParams(login);
    connection.setSqlDialect(3);
    if (IsServerDatabase(login.database))
        connection.setConnectTimeout(kServerConnectTimeout);
}

bool IsServerDatabase(const std::string& database)
{
    // A host name of two characters or more (one is a drive letter), or an
    // IPv6 address in brackets; then an optional "/port" (a number or a
    // service name) and ":path". A Windows named pipe, "\\host\path", goes
    // to a server too.
    static const std::regex server(
        R"(^([A-Za-z0-9_][A-Za-z0-9._-]+|\[[0-9A-Fa-f:.]+\])(/[0-9A-Za-z_-]+)?:.+$|^\\\\[^\\/]+\\.+$)");
    return std::regex_match(database, server);
}

ServerAddress ServerAddressOf(const std::string& database)
{
    static const std::regex address(R"(^([A-Za-z0-9_][A-Za-z0-9._-]+|\[[0-9A-Fa-f:.]+\])(/([0-9A-Za-z_-]+))?:.+$)");
    static const std::regex pipe(R"(^\\\\([^\\/]+)\\.+$)");
    std::smatch m;
    if (std::regex_match(database, m, address))
        return {m[1].str(), m[3].matched ? m[3].str() : std::string("3050")};
    if (std::regex_match(database, m, pipe))
        return {m[1].str(), {}};
    return {};
}
