#include "host/host_error.h"
#include "host/login.h"

#include <cstdlib>
#include <regex>

bool isServerDatabase(const std::string& database)
{
    // A host name (no slash, no colon), an optional "/port", then ":path".
    static const std::regex server(R"(^[^/\\:]{2,}(/[0-9A-Za-z_-]+)?:.+$)");
    return std::regex_match(database, server);
}

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

std::string oneLine(const std::string& message)
{
    // Server messages come as lines, the later ones led by "-".
    std::string out;
    std::size_t start = 0;
    while (start <= message.size()) {
        std::size_t end = message.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        std::string line = message.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(" -\t");
        const std::size_t last = line.find_last_not_of(" \t");
        if (first != std::string::npos) {
            if (!out.empty())
                out += out.back() == '.' ? " " : "; ";
            out += line.substr(first, last - first + 1);
        }
        start = end + 1;
    }
    return out;
}
