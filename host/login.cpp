#include "host/login.h"

#include <cstdlib>

CompetitionLogin makeLogin(const std::string& database, const LoginOptions& options)
{
    CompetitionLogin login;
    login.database = database;
    if (options.user)
        login.user = *options.user;
    else if (const char* user = std::getenv("ISC_USER"); user && *user)
        login.user = user;
    if (options.password)
        login.password = *options.password;
    else if (const char* password = std::getenv("ISC_PASSWORD"); password && *password)
        login.password = password;
    return login;
}
