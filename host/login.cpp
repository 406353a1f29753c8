#include "host/login.h"

#include "core/command_error.h"

#include <QFile>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

std::string readPasswordFile(const std::string& path, const char* what)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw CommandError(std::string(what) + " " + path + " cannot be read: no such file");
    if (!S_ISREG(info.st_mode))
        throw CommandError(std::string(what) + " " + path + " is not a file");
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        throw CommandError(std::string(what) + " " + path + " may be read by others (mode " + mode
                           + "): make it readable by its owner only (chmod 600 " + path + ")");
    }
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        throw CommandError(std::string(what) + " " + path + " cannot be read: "
                           + file.errorString().toLocal8Bit().toStdString());
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw CommandError(std::string(what) + " " + path + " holds no password on its first line");
    return line.toStdString();
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
    else if (options.passwordFile)
        login.password = readPasswordFile(*options.passwordFile);
    else if (const char* password = std::getenv("ISC_PASSWORD"); password && *password)
        login.password = password;
    else if (IsServerDatabase(database))
        // Never the server's installation default, silently.
        throw CommandError("no password for " + database + ": set ISC_USER and ISC_PASSWORD, or give "
                           "--password-file FILE (a file only you can read, the password on its first line)");
    return login;
}
