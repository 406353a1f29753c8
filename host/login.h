#pragma once
// Where the commands find the competition database and as whom they log in.

#include "data/uTallyonData.h"

#include <optional>
#include <string>

struct LoginOptions {
    std::optional<std::string> user;       // --user
    std::optional<std::string> password;   // --password
};

// "host:path" or "host/port:path" goes to a server; anything else is a
// file opened in this process.
bool isServerDatabase(const std::string& database);

// The login for database: the options first, then ISC_USER and
// ISC_PASSWORD, then SYSDBA with the embedded engine's ignored password.
CompetitionLogin makeLogin(const std::string& database, const LoginOptions& options);
