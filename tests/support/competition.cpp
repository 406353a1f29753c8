#include "tests/support/competition.h"

#include "data/competition_schema.h"
#include "db/transaction.h"
#include "host/station_context.h"

#include <stdexcept>

std::vector<std::string> attachmentParams(const CompetitionLogin& login)
{
    return CompetitionLoginParams(login);
}

void attach(db::Connection& connection, const CompetitionLogin& login)
{
    connection.setDatabaseName(login.database);
    connection.params() = attachmentParams(login);
    connection.connect();
}

void runStatements(const CompetitionLogin& login, const std::vector<std::string>& statements)
{
    db::Connection connection;
    attach(connection, login);
    db::Transaction transaction(&connection);
    for (const std::string& sql : statements)
        connection.executeImmediate(sql, transaction);
    transaction.commit();
    connection.disconnect();
}

std::vector<std::string> readRows(const CompetitionLogin& login, const std::string& select,
                                  const std::string& nullText)
{
    db::Connection connection;
    attach(connection, login);
    std::vector<std::string> rows;
    {
        db::Transaction transaction(&connection);
        db::Query query(&connection, &transaction);
        query.sqlAdd(select);
        query.open();
        for (query.first(); !query.eof(); query.next()) {
            std::string row;
            for (int c = 0; c < query.fieldCount(); ++c) {
                const db::Value& value = query.fieldByName(query.fieldNames()[static_cast<std::size_t>(c)]).value();
                row += (c ? "|" : "") + (value.isNull() ? nullText : value.toText());
            }
            rows.push_back(row);
        }
        query.close();
        transaction.commit();
    }
    connection.disconnect();
    return rows;
}

std::unique_ptr<TdmTallyon> connectStation(const CompetitionLogin& login)
{
    auto dm = std::make_unique<TdmTallyon>();
    SetUpStationContext(*dm, login, kTestLockTimeout);
    dm->Connect(login);
    return dm;
}

void reopenWith(db::Query& query, const std::string& select)
{
    query.close();
    query.sqlClear();
    query.sqlAdd(select);
    query.open();
}

TemporaryDatabase::TemporaryDatabase(const QString& fileName)
{
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder");
    login.database = dir_.filePath(fileName).toStdString();
}

std::unique_ptr<db::Connection> TemporaryDatabase::attachment() const
{
    auto connection = std::make_unique<db::Connection>();
    attach(*connection);
    return connection;
}

int TemporaryDatabase::count(const std::string& select) const
{
    return std::stoi(rows(select).at(0));
}

TestCompetition::TestCompetition(const QString& fileName)
    : TemporaryDatabase(fileName)
{
    CreateCompetitionDatabase(login);
}
