#pragma once
// Competition databases for tests: a file in a temporary folder of its own,
// filled by plain statements, a station's data context on it, and a second
// attachment that reads back what a test left behind.

#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// The parameters a test attachment logs in with (text in ISO 8859-1).
std::vector<std::string> attachmentParams(const CompetitionLogin& login);

// Connects an attachment of its own to the database.
void attach(db::Connection& connection, const CompetitionLogin& login);

// Runs statements in one committed transaction of an attachment of its own.
void runStatements(const CompetitionLogin& login, const std::vector<std::string>& statements);

// Every row of a select, read through an attachment of its own, each as its
// columns' text joined by "|"; a null column reads as nullText.
std::vector<std::string> readRows(const CompetitionLogin& login, const std::string& select,
                                  const std::string& nullText = {});

// The one shorter wait of the tests: a save gives up waiting for another
// station's lock after a second instead of the station's five, so the
// conflict cases do not each take five seconds. Nothing else differs.
inline constexpr std::chrono::seconds kTestLockTimeout{1};

// The data context set up by the host's own station set-up (its event
// bodies, its server bounds), with the tests' lock wait, and connected.
std::unique_ptr<TdmTallyon> connectStation(const CompetitionLogin& login);

// Gives a dataset another statement and opens it.
void reopenWith(db::Query& query, const std::string& select);

// A database file in a temporary folder that goes with the object. Nothing
// is created: the test or the program under test makes the file.
class TemporaryDatabase {
public:
    explicit TemporaryDatabase(const QString& fileName = QStringLiteral("competition.fdb"));
    TemporaryDatabase(const TemporaryDatabase&) = delete;
    TemporaryDatabase& operator=(const TemporaryDatabase&) = delete;

    void attach(db::Connection& connection) const { ::attach(connection, login); }
    std::unique_ptr<db::Connection> attachment() const;
    void seed(const std::vector<std::string>& statements) const { runStatements(login, statements); }
    std::vector<std::string> rows(const std::string& select, const std::string& nullText = {}) const
    {
        return readRows(login, select, nullText);
    }
    // The first column of the first row as a number: for "select count(*) ...".
    int count(const std::string& select) const;

    QString path() const { return QString::fromStdString(login.database); }
    QString folder() const { return dir_.path(); }
    // A file beside the database.
    QString file(const QString& name) const { return dir_.filePath(name); }

    CompetitionLogin login;

private:
    QTemporaryDir dir_;
};

// A new, empty competition database in a temporary folder.
class TestCompetition : public TemporaryDatabase {
public:
    explicit TestCompetition(const QString& fileName = QStringLiteral("competition.fdb"));

    std::unique_ptr<TdmTallyon> connectContext() const { return connectStation(login); }
    // seed(statements), then connectContext().
    std::unique_ptr<TdmTallyon> seededContext(const std::vector<std::string>& statements) const
    {
        seed(statements);
        return connectContext();
    }
};
