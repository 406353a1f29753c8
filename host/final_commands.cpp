#include "host/final_commands.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "data/archer_status.h"
#include "data/competition_io.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "results/results_schema.h"
#include "results/competition_edit.h"
#include "results/final_tables.h"
#include "results/card_check.h"
#include "results/shootoff.h"
#include "verify/verify_window.h"

#include <iostream>
#include <optional>

namespace {

QString argument(const std::string& text)
{
    return QString::fromLocal8Bit(text.c_str());
}

void open(db::Connection& connection, const CompetitionLogin& login)
{
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);
}

std::string latin1Argument(const std::string& localText, const char* what)
{
    QString bad;
    const auto bytes = toLatin1Exact(argument(localText), &bad);
    if (!bytes)
        throw CommandError(latin1Refusal(what, bad));
    return *bytes;
}

std::int32_t idArgument(const std::string& text)
{
    bool ok = false;
    const int id = argument(text).toInt(&ok);
    if (!ok || id < 1)
        throw UsageError("\"" + text + "\" is not an archer's number");
    return id;
}

} // namespace

int runCompetitionCommand(const Invocation& in)
{
    const std::size_t n = in.arguments.size();
    if (n > 1 && in.arguments[1] != "set")
        throw UsageError("usage: tallyon competition DB [set NAME=... PLACE=... STARTDATE=YYYY-MM-DD "
                         "[FINISHEDDATE=YYYY-MM-DD]]");
    db::Connection connection;
    open(connection, in.login);
    if (n > 1) {
        QStringList assignments;
        for (std::size_t i = 2; i < n; ++i)
            assignments << argument(in.arguments[i]);
        setCompetitionDetails(connection, assignments);
    }
    std::cout << competitionDetailsText(connection).toLocal8Bit().toStdString();
    return 0;
}

int runShootOffCommand(const Invocation& in)
{
    const auto list = in.value("--list");
    if (!list || in.arguments.size() < 3)
        throw UsageError("usage: tallyon shootoff DB --list NAME ID ID ... (the archers best first)");
    std::vector<std::int32_t> order;
    for (std::size_t i = 1; i < in.arguments.size(); ++i)
        order.push_back(idArgument(in.arguments[i]));
    db::Connection connection;
    open(connection, in.login);
    const std::string report = recordShootOff(connection, latin1Argument(*list, "--list"), order);
    std::cout << QString::fromStdString(report).toLocal8Bit().toStdString() << "\n";
    return 0;
}

int setListOptions(const Invocation& in)
{
    if (in.arguments.size() < 4)
        throw UsageError("usage: tallyon lists DB set NAME [TEAMSIZE=N] [CUTOFF=N]");
    const std::string name = latin1Argument(in.arguments[2], "the list's name");
    db::Connection connection;
    open(connection, in.login);
    if (!rowExists(connection, "select 1 from RESULTLISTS where LISTNAME = ?", name))
        throw CommandError("there is no result list \"" + in.arguments[2] + "\"");
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    ListOptions options;
    if (const auto stored = readListOptions(connection, transaction); stored.count(name))
        options = stored.at(name);
    transaction.commit();
    for (std::size_t i = 3; i < in.arguments.size(); ++i) {
        const QString a = argument(in.arguments[i]);
        const QString column = a.section(u'=', 0, 0).trimmed().toUpper();
        bool ok = false;
        const int value = a.section(u'=', 1).trimmed().toInt(&ok);
        if (!a.contains(u'=') || (column != QStringLiteral("TEAMSIZE") && column != QStringLiteral("CUTOFF")))
            throw UsageError("\"" + in.arguments[i] + "\" is neither TEAMSIZE=N nor CUTOFF=N");
        if (!ok || value < 0 || value > 1000 || (column == QStringLiteral("TEAMSIZE") && value < 1))
            throw CommandError(column.toStdString() + " takes a number (TEAMSIZE 1 or more, CUTOFF 0 for none)");
        (column == QStringLiteral("TEAMSIZE") ? options.teamSize : options.cutOff) = value;
    }
    writeListOptions(connection, name, options);
    std::cout << "result list " << in.arguments[2] << ": " << options.teamSize << " members count per team, "
              << (options.cutOff ? "cut-off after place " + std::to_string(options.cutOff) : std::string("no cut-off"))
              << "\n";
    return 0;
}

void applyArcherStatus(const Invocation& in, std::int32_t archerId, QStringList& assignments)
{
    std::optional<std::string> status;
    for (qsizetype i = 0; i < assignments.size();) {
        const QString& a = assignments[i];
        if (a.section(u'=', 0, 0).trimmed().toUpper() != QStringLiteral("STATUS") || !a.contains(u'=')) {
            ++i;
            continue;
        }
        if (status)
            throw CommandError("column STATUS is given twice");
        status = archerStatusFromText(a.section(u'=', 1).toStdString());
        if (!status)
            throw CommandError("archer " + std::to_string(archerId) + ": STATUS \"" + a.section(u'=', 1).toStdString()
                               + "\" is none of DNS (did not start), DNF (retired), DSQ (disqualified) or empty");
        assignments.removeAt(i);
    }
    if (!status)
        return;
    db::Connection connection;
    open(connection, in.login);
    {
        db::Transaction transaction(&connection);
        transaction.params() = {"read_committed", "rec_version", "read"};
        db::Query q(&connection, &transaction);
        q.sqlAdd("select 1 from ARCHER where ARCHERID = ?");
        q.setParams({db::Value(archerId)});
        q.open();
        const bool found = !q.isEmpty();
        q.close();
        transaction.commit();
        if (!found)
            throw CommandError(in.login.database + " has no archer " + std::to_string(archerId)
                               + " (tallyon archers DB lists them)");
    }
    ensureArcherStatusTable(connection);
    db::Transaction transaction(&connection);
    const std::string before = readArcherStatuses(connection, transaction)[archerId];
    writeArcherStatus(connection, transaction, archerId, *status);
    transaction.commit();
    std::cout << "archer " << archerId << ": STATUS: \"" << before << "\" -> \"" << *status << "\"\n";
}

int runVerifyCommand(const Invocation& in)
{
    db::Connection connection;
    open(connection, in.login);
    if (const auto unlock = in.value("--unlock")) {
        const std::int32_t id = idArgument(*unlock);
        std::cout << "archer " << id << ": "
                  << (unlockCard(connection, id) ? "the card is unlocked; its arrows may be changed again"
                                                 : "the card was not locked")
                  << "\n";
        return 0;
    }
    // The lock is in place before the first card is checked.
    ensureCardLock(connection);
    return runVerifyWindow(*in.argc, in.argv, connection, checkerName(in.login.user));
}
