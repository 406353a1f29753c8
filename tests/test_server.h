#pragma once
// The throwaway Firebird server the test fixture starts (tests/server.cmake,
// scripts/test-server.sh), and servers of a test's own from the same script
// for the cases that stop one.

#include "data/uTallyonData.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QUuid>

#include <signal.h>
#include <sys/types.h>

#include <optional>
#include <stdexcept>
#include <string>

struct TestServer {
    QString root;       // the server's root folder; databases go to root/data
    QString address;    // host/port
    std::string password;

    // A login for a database file in the server's data folder that does not exist yet.
    CompetitionLogin newDatabase(const QString& stem = QStringLiteral("tallyon")) const
    {
        CompetitionLogin login;
        login.database = (address + ':' + root + "/data/" + stem + '-'
                          + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".fdb").toStdString();
        login.user = "SYSDBA";
        login.password = password;
        return login;
    }
};

// The server started in root, or nothing with the reason in why.
inline std::optional<TestServer> readTestServer(const QString& root, QString& why)
{
    if (root.isEmpty()) {
        why = QStringLiteral("TALLYON_TEST_SERVER_ROOT is not set (run the test through ctest)");
        return std::nullopt;
    }
    const auto read = [&](const char* name) -> std::optional<QString> {
        QFile file(QDir(root).filePath(QLatin1String(name)));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return QString::fromLatin1(file.readAll()).trimmed();
    };
    const auto address = read("address");
    const auto password = read("password");
    if (!address || !password) {
        why = "the server's root " + root + " has no address or password: it did not start";
        return std::nullopt;
    }
    return TestServer{QDir(root).absolutePath(), *address, password->toStdString()};
}

// Under CI (CI=true) a missing server fails the test; elsewhere it skips,
// and ctest shows the test as skipped.
#define REQUIRE_FIXTURE_SERVER(server)                                                                 \
    do {                                                                                               \
        QString why_;                                                                                  \
        server = readTestServer(qEnvironmentVariable("TALLYON_TEST_SERVER_ROOT"), why_);               \
        if (!server) {                                                                                 \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                   \
                QFAIL(qPrintable("the test server is missing in CI: " + why_));                        \
            QSKIP(qPrintable("no Firebird server to test with: " + why_));                             \
        }                                                                                              \
    } while (false)

#ifdef TALLYON_TEST_SERVER_SCRIPT
// A server of the test's own, for cases that stop and start it; stopped and
// removed when it goes.
class OwnTestServer {
public:
    explicit OwnTestServer(const QString& root) : root_(root)
    {
        run("start");
        QString why;
        auto server = readTestServer(root_, why);
        if (!server)
            throw std::runtime_error(why.toStdString());
        server_ = *server;
    }
    ~OwnTestServer()
    {
        try {
            run("stop");
        } catch (...) {
        }
    }
    OwnTestServer(const OwnTestServer&) = delete;
    OwnTestServer& operator=(const OwnTestServer&) = delete;

    const TestServer& server() const { return server_; }
    // Stops the server; its databases stay.
    void halt() { run("halt"); }
    // Starts it again on the same port.
    void resume() { run("resume"); }
    // Freezes the running server without ending it, as an unplugged network
    // does: nothing answers and nothing is refused; and lets it go on.
    void freeze() { signal(SIGSTOP); }
    void thaw() { signal(SIGCONT); }

private:
    void signal(int number)
    {
        QFile pidFile(root_ + QStringLiteral("/server.pid"));
        if (!pidFile.open(QIODevice::ReadOnly))
            throw std::runtime_error("the test server has no process id file");
        const pid_t pid = pid_t(pidFile.readAll().trimmed().toLongLong());
        if (pid <= 0 || ::kill(pid, number) != 0)
            throw std::runtime_error("cannot signal the test server");
    }

    void run(const char* action)
    {
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start(QStringLiteral("bash"), {QStringLiteral(TALLYON_TEST_SERVER_SCRIPT), QLatin1String(action), root_});
        if (!script.waitForFinished(120000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
            script.kill();
            script.waitForFinished(5000);
            throw std::runtime_error(std::string("test-server.sh ") + action + " failed: "
                                     + script.readAll().toStdString());
        }
    }

    QString root_;
    TestServer server_;
};
#endif
