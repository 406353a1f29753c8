#pragma once
// Where and as whom the host opens the competition database: the one place
// that knows the login's parameters and tells a server's database from a file.

#include <chrono>
#include <string>
#include <vector>

namespace db { class Connection; }

struct CompetitionLogin {
    std::string database;              // plain path (embedded) or a server's database
    std::string user = "SYSDBA";
    std::string password = "masterkey";
};

// How long attaching to a server may take: a stopped server, a host that
// drops the packets or a listener that never answers is told within it.
inline constexpr std::chrono::seconds kServerConnectTimeout{10};

// The connection parameters of the login: user, password, ISO 8859-1 text.
std::vector<std::string> CompetitionLoginParams(const CompetitionLogin& login);

// Names the login's database on the connection with its parameters and SQL
// dialect 3, and on a server bounds the attach by kServerConnectTimeout;
// connects nothing.
void SetCompetitionLogin(db::Connection& connection, const CompetitionLogin& login);

// True for a database on a server: "host:path", "host/port:path",
// "[IPv6]/port:path", "inet://host/path" and the like, and "\\host\path".
// A plain path, also one with a drive letter ("C:\..." or "C:..."), or a
// folder holding a colon ("/data/a:b/x.fdb"), is a file of this process.
bool IsServerDatabase(const std::string& database);

// The server part of a server's database, "host" and "port" ("3050" when it
// names none, the service name when it names one); both empty for a file.
struct ServerAddress {
    std::string host;
    std::string port;
};
ServerAddress ServerAddressOf(const std::string& database);
