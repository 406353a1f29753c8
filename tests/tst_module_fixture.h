#pragma once
// A competition database in a temporary folder, filled by plain statements
// and read back through an attachment of its own.

#include "data/competition_schema.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/transaction.h"

#include <QTemporaryDir>

#include <stdexcept>
#include <string>
#include <vector>

class TestCompetition {
public:
    explicit TestCompetition(const char* fileName = "competition.fdb")
    {
        if (!dir_.isValid())
            throw std::runtime_error("no temporary folder");
        login.database = dir_.filePath(QString::fromLatin1(fileName)).toStdString();
    }

    void create() const { CreateCompetitionDatabase(login); }

    void attach(db::Connection& connection) const
    {
        connection.setDatabaseName(login.database);
        connection.params() = {"user_name=" + login.user, "password=" + login.password, "lc_ctype=ISO8859_1"};
        connection.setSqlDialect(3);
        connection.connect();
    }

    // Statements in one committed transaction (text in ISO 8859-1).
    void run(const std::vector<std::string>& statements) const
    {
        db::Connection connection;
        attach(connection);
        db::Transaction transaction(&connection);
        for (const std::string& sql : statements)
            connection.executeImmediate(sql, transaction);
        transaction.commit();
        connection.disconnect();
    }

    // Every row of a select, its columns' text joined by "|".
    std::vector<std::string> rows(const std::string& select) const
    {
        db::Connection connection;
        attach(connection);
        std::vector<std::string> out;
        {
            db::Transaction transaction(&connection);
            db::Query q(&connection, &transaction);
            q.sqlAdd(select);
            q.open();
            for (q.first(); !q.eof(); q.next()) {
                std::string row;
                for (int i = 0; i < q.fieldCount(); ++i) {
                    if (i)
                        row += '|';
                    row += q.fieldByName(q.fieldNames()[static_cast<std::size_t>(i)]).asString();
                }
                out.push_back(row);
            }
            q.close();
            transaction.commit();
        }
        connection.disconnect();
        return out;
    }

    int count(const std::string& select) const { return std::stoi(rows(select).at(0)); }

    QString path() const { return QString::fromStdString(login.database); }
    QString folder() const { return dir_.path(); }

    CompetitionLogin login;

private:
    QTemporaryDir dir_;
};
