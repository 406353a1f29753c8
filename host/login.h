#pragma once
// As whom the commands log in to the competition database.

#include "data/competition_login.h"

#include <optional>
#include <string>

struct LoginOptions {
    std::optional<std::string> user;           // --user
    std::optional<std::string> password;       // --password
    std::optional<std::string> passwordFile;   // --password-file
};

// The login for database: the options first, then ISC_USER and
// ISC_PASSWORD; the user is SYSDBA when none is given. A server's database
// needs a password given one of these ways (CommandError saying how, when
// none is); a plain file, opened by the embedded engine, needs none.
CompetitionLogin makeLogin(const std::string& database, const LoginOptions& options);

// The first line of a file that only its owner may read: CommandError for
// a file that its group or others may read, or that cannot be read, or
// that holds no password. What names the file's use in the messages.
std::string readPasswordFile(const std::string& path, const char* what = "--password-file");
