#pragma once
// As whom the commands log in to the competition database.

#include "data/competition_login.h"

#include <optional>
#include <string>

struct LoginOptions {
    std::optional<std::string> user;       // --user
    std::optional<std::string> password;   // --password
};

// The login for database: the options first, then ISC_USER and
// ISC_PASSWORD, then SYSDBA with the embedded engine's ignored password.
CompetitionLogin makeLogin(const std::string& database, const LoginOptions& options);
