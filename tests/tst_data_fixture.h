#pragma once
// A competition database of its own for each test: a new file in a
// temporary folder, a data context connected to it, and a second attachment
// that plays another station.

#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/transaction.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The data context as the host sets it up; its points transaction gives up
// waiting for another station's lock after a second.
inline std::unique_ptr<TdmTallyon> connectStation(const CompetitionLogin& login)
{
    auto dm = std::make_unique<TdmTallyon>();
    dm->IBTransPoints.params() = {"concurrency", "wait", "lock_timeout=1"};
    dm->Connect(login);
    return dm;
}

// Gives a dataset another statement and opens it.
inline void reopenWith(db::Query& query, const std::string& select)
{
    query.close();
    query.sqlClear();
    query.sqlAdd(select);
    query.open();
}

class CompetitionFixture {
public:
    CompetitionFixture()
    {
        if (!dir_.isValid())
            throw std::runtime_error("no temporary folder");
        login.database = dir_.filePath("competition.fdb").toStdString();
        CreateCompetitionDatabase(login);
    }

    // Runs statements in one committed transaction of an attachment of its own.
    void seed(const std::vector<std::string>& statements) const
    {
        db::Connection connection;
        openAttachment(connection);
        db::Transaction transaction(&connection);
        for (const std::string& sql : statements)
            connection.executeImmediate(sql, transaction);
        transaction.commit();
        connection.disconnect();
    }

    // connectStation() on this database.
    std::unique_ptr<TdmTallyon> connectContext() const { return connectStation(login); }

    // seed(statements), then connectContext().
    std::unique_ptr<TdmTallyon> seededContext(const std::vector<std::string>& statements) const
    {
        seed(statements);
        return connectContext();
    }

    void openAttachment(db::Connection& connection) const
    {
        connection.setDatabaseName(login.database);
        connection.params() = {"user_name=" + login.user, "password=" + login.password, "lc_ctype=ISO8859_1"};
        connection.connect();
    }

    // Every row of a select, each as its columns' text joined by "|".
    std::vector<std::string> rows(const std::string& select) const
    {
        db::Connection connection;
        openAttachment(connection);
        db::Transaction transaction(&connection);
        db::Query query(&connection, &transaction);
        query.sqlAdd(select);
        query.open();
        std::vector<std::string> result;
        for (query.first(); !query.eof(); query.next()) {
            std::string row;
            for (int c = 0; c < query.fieldCount(); ++c)
                row += (c ? "|" : "") + query.fieldByName(query.fieldNames()[static_cast<std::size_t>(c)]).asString();
            result.push_back(row);
        }
        query.close();
        transaction.commit();
        connection.disconnect();
        return result;
    }

    CompetitionLogin login;

private:
    QTemporaryDir dir_;
};
