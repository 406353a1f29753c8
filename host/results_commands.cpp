#include "host/results_commands.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "results/board.h"
#include "data/competition_io.h"
#include "core/command_error.h"
#include "core/csv_writer.h"
#include "core/latin1.h"
#include "results/list_filter.h"
#include "host/final_commands.h"
#include "host/login.h"
#include "results/ranking.h"
#include "results/results_output.h"
#include "results/results_schema.h"
#include "results/scorecard.h"
#include "results/scorecard_pages.h"
#include "results/start_list.h"

#include <QGuiApplication>

#include <iostream>
#include <map>
#include <optional>
#include <vector>

namespace {

std::optional<std::string> option(const Invocation& in, const char* name)
{
    return in.value(name);
}

QString path(const std::string& localText)
{
    return QString::fromLocal8Bit(localText.c_str());
}

// A command-line text in the database's character set.
std::string latin1Argument(const std::string& localText, const char* what)
{
    QString bad;
    const auto bytes = toLatin1Exact(QString::fromLocal8Bit(localText.c_str()), &bad);
    if (!bytes)
        throw CommandError(latin1Refusal(what, bad));
    return *bytes;
}

void printText(const QString& text)
{
    std::cout << text.toLocal8Bit().toStdString() << std::flush;
}

// Documents are laid out with fonts, which want the GUI library; a display
// is not needed.
class DocumentApplication {
public:
    DocumentApplication()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QGuiApplication::instance())
            app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[8] = "tallyon";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

void open(db::Connection& connection, const CompetitionLogin& login)
{
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);
}

int results(const Invocation& o, const CompetitionLogin& login)
{
    QChar separator = u',';
    if (const auto s = option(o, "--separator")) {
        if (const auto given = csvSeparatorFromArgument(QString::fromLocal8Bit(s->c_str())))
            separator = *given;
        else
            throw UsageError("--separator takes one character (or \"tab\"), not \"" + *s + "\"");
        if (!option(o, "--csv"))
            throw UsageError("--separator goes with --csv");
    }
    std::optional<std::string> list;
    if (const auto l = option(o, "--list"))
        list = latin1Argument(*l, "--list");

    db::Connection connection;
    open(connection, login);
    const CompetitionResults r = readResults(connection, list);
    connection.disconnect();

    int archers = 0;
    for (const ResultList& l : r.lists)
        archers += int(l.archers.size());
    const QString summary = QStringLiteral(" (%1 lists, %2 archers)").arg(r.lists.size()).arg(archers);
    bool wrote = false;
    if (const auto csv = option(o, "--csv")) {
        writeFile(path(*csv), resultsAsCsv(r, separator));
        std::cout << "wrote " << *csv << summary.toStdString() << "\n";
        wrote = true;
    }
    if (const auto html = option(o, "--html")) {
        DocumentApplication app;
        writeFile(path(*html), resultsAsHtml(r).toUtf8());
        std::cout << "wrote " << *html << summary.toStdString() << "\n";
        wrote = true;
    }
    if (const auto pdf = option(o, "--pdf")) {
        DocumentApplication app;
        writePdf(resultsAsHtml(r, {9, false}), path(*pdf), QStringLiteral("Results"));
        std::cout << "wrote " << *pdf << summary.toStdString() << "\n";
        wrote = true;
    }
    if (!wrote)
        printText(resultsAsText(r));
    // A list that could not be ranked is reported; the others stand.
    int faults = 0;
    for (const ResultList& l : r.lists) {
        for (const std::string& fault : l.faults) {
            std::cerr << "tallyon: " << fault << "\n";
            ++faults;
        }
    }
    return faults == 0 ? 0 : 1;
}

bool listExists(db::Connection& connection, const std::string& name)
{
    return rowExists(connection, "select LISTNAME from RESULTLISTS where LISTNAME = ?", name);
}

struct StoredList {
    std::string name, filter, applyTo;
};

std::vector<StoredList> readStoredLists(db::Connection& connection)
{
    db::Transaction transaction(&connection);
    db::Query q(&connection, &transaction);
    q.sqlAdd("select LISTNAME, LISTFILTER, APPLYTO from RESULTLISTS order by APPLYTO, LISTNAME");
    q.open();
    std::vector<StoredList> rows;
    for (q.first(); !q.eof(); q.next())
        rows.push_back({q.fieldByName("LISTNAME").asString(), q.fieldByName("LISTFILTER").asString(),
                        q.fieldByName("APPLYTO").asString()});
    q.close();
    transaction.commit();
    return rows;
}

// Name, kind and archer count in aligned columns, the condition last.
QString listsTable(const std::vector<QStringList>& table)
{
    std::vector<qsizetype> width(4, 0);
    for (const QStringList& row : table) {
        for (int c = 0; c < 3; ++c)
            width[std::size_t(c)] = std::max(width[std::size_t(c)], row[c].size());
    }
    QString out;
    for (const QStringList& row : table)
        out += row[0].leftJustified(width[0]) + QStringLiteral("  ") + row[1].leftJustified(width[1])
               + QStringLiteral("  ") + row[2].rightJustified(width[2]) + QStringLiteral("  ") + row[3] + u'\n';
    return out;
}

int showLists(const Invocation& o, db::Connection& connection)
{
    if (o.arguments.size() != 2)
        throw UsageError("usage: tallyon lists DB show");
    const std::vector<StoredList> rows = readStoredLists(connection);
    if (rows.empty()) {
        std::cout << "no result lists: results are listed per bow type, shooting class, age class and sex\n";
        return 0;
    }
    std::vector<QStringList> table{{QStringLiteral("List"), QStringLiteral("For"), QStringLiteral("Archers"),
                                    QStringLiteral("Condition")}};
    for (const StoredList& r : rows) {
        QString archers;
        try {
            archers = QString::number(archersOfList(connection, r.name, r.filter).size());
        } catch (const CommandError& e) {
            archers = QStringLiteral("refused: ") + QString::fromStdString(e.what());
        }
        table.push_back({fromLatin1(r.name), fromLatin1(r.applyTo), archers,
                         r.filter.empty() ? QStringLiteral("(every archer)") : fromLatin1(r.filter)});
    }
    printText(listsTable(table));
    return 0;
}

int addList(const Invocation& o, db::Connection& connection)
{
    if (o.arguments.size() < 3 || o.arguments.size() > 4)
        throw UsageError("usage: tallyon lists DB add NAME [CONDITION] [--team]");
    const std::string name = latin1Argument(o.arguments[2], "the list's name");
    const std::string filter = o.arguments.size() == 4 ? latin1Argument(o.arguments[3], "the condition") : "";
    if (name.empty() || name.size() > 60)
        throw CommandError("a list's name has 1 to 60 characters");
    try {
        compileListFilter(filter);
    } catch (const ListFilterError& e) {
        throw CommandError("the condition is refused: " + std::string(e.what()));
    }
    const std::size_t archers = archersOfList(connection, name, filter).size();
    if (listExists(connection, name))
        throw CommandError("there is a result list \"" + o.arguments[2] + "\" already");
    db::Transaction transaction(&connection);
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into RESULTLISTS (LISTNAME, LISTFILTER, APPLYTO) values (?, ?, ?)");
    insert.execute({db::Value(name), filter.empty() ? db::Value() : db::Value(filter),
                    db::Value(o.has("--team") ? "TEAM" : "INDIVIDUAL")});
    transaction.commit();
    std::cout << "added the result list " << o.arguments[2] << ": " << archers
              << (archers == 1 ? " archer" : " archers") << " now\n";
    return 0;
}

int removeList(const Invocation& o, db::Connection& connection)
{
    if (o.arguments.size() != 3)
        throw UsageError("usage: tallyon lists DB remove NAME");
    const std::string name = latin1Argument(o.arguments[2], "the list's name");
    if (!listExists(connection, name))
        throw CommandError("there is no result list \"" + o.arguments[2] + "\"");
    db::Transaction transaction(&connection);
    db::Statement remove(&connection, &transaction);
    remove.sqlAdd("delete from RESULTLISTS where LISTNAME = ?");
    remove.execute({db::Value(name)});
    transaction.commit();
    std::cout << "removed the result list " << o.arguments[2] << "\n";
    return 0;
}

int lists(const Invocation& o, const CompetitionLogin& login)
{
    const std::string action = o.arguments[1];
    if (o.has("--team") && action != "add")
        throw UsageError("--team goes with lists add");
    if (action == "set")
        return setListOptions(o);
    db::Connection connection;
    open(connection, login);
    if (action == "show")
        return showLists(o, connection);
    if (action == "add")
        return addList(o, connection);
    if (action == "remove")
        return removeList(o, connection);
    throw UsageError("lists takes show, add or remove, not \"" + action + "\"");
}

std::vector<std::int32_t> selectedArchers(db::Connection& connection, const Invocation& o)
{
    const auto lane = option(o, "--lane");
    const int ways = int(o.arguments.size() == 2) + int(bool(lane)) + int(o.has("--all"));
    if (o.arguments.size() > 2 || ways != 1)
        throw UsageError("name the archers once: an ARCHER-ID, --lane LANE or --all");
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    std::string what;
    if (o.has("--all")) {
        q.sqlAdd("select ARCHERID from ARCHER");
        what = "the competition has no archers";
    } else if (lane) {
        // A lane label ("5A") names its archer; a bare number names the
        // archers of that lane.
        const std::string label = latin1Argument(*lane, "--lane");
        bool isNumber = !label.empty() && label.size() < 9
                        && std::all_of(label.begin(), label.end(), [](char c) { return c >= '0' && c <= '9'; });
        q.sqlAdd("select ARCHERID from ARCHER where LANE = ?" + std::string(isNumber ? " or LANENO = ?" : ""));
        std::vector<db::Value> params;
        params.emplace_back(label);
        if (isNumber)
            params.emplace_back(std::stoi(label));
        q.setParams(params);
        what = "no archer shoots on lane " + *lane;
    } else {
        const std::string& id = o.arguments[1];
        if (id.empty() || id.size() > 9 || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
            throw UsageError("\"" + id + "\" is no archer number");
        q.sqlAdd("select ARCHERID from ARCHER where ARCHERID = ?");
        q.setParams({db::Value(std::stoi(id))});
        what = "there is no archer " + id;
    }
    q.open();
    std::vector<std::int32_t> ids;
    for (q.first(); !q.eof(); q.next())
        ids.push_back(q.fieldByName("ARCHERID").asInteger());
    q.close();
    transaction.commit();
    if (ids.empty())
        throw CommandError(what);
    return ids;
}

int scorecard(const Invocation& o, const CompetitionLogin& login)
{
    const auto pdf = option(o, "--pdf");
    const auto html = option(o, "--html");
    const bool blank = o.has("--blank");
    if (!pdf && !html)
        throw UsageError("scorecard writes a file: give --pdf FILE");
    db::Connection connection;
    open(connection, login);
    const std::vector<std::int32_t> ids = selectedArchers(connection, o);
    const Competition competition = readCompetition(connection);
    const std::vector<ArcherResult> archers = readArcherResults(connection, &ids);
    connection.disconnect();

    DocumentApplication app;
    const std::string cards = std::to_string(archers.size()) + (blank ? " blank" : "")
                              + (archers.size() == 1 ? " card" : " cards");
    if (html) {
        writeFile(path(*html), scorecardsAsHtml(competition, archers, blank).toUtf8());
        std::cout << "wrote " << *html << " (" << cards << ")\n";
    }
    if (pdf) {
        writeScorecardsPdf(competition, archers, blank, path(*pdf));
        std::cout << "wrote " << *pdf << " (" << cards << ", two a page)\n";
    }
    return 0;
}

int startList(const Invocation& o, const CompetitionLogin& login)
{
    const auto pdf = option(o, "--pdf");
    const auto csv = option(o, "--csv");
    QChar separator = u',';
    if (const auto s = option(o, "--separator")) {
        const auto given = csvSeparatorFromArgument(QString::fromLocal8Bit(s->c_str()));
        if (!given)
            throw UsageError("--separator takes one character (or \"tab\"), not \"" + *s + "\"");
        if (!csv)
            throw UsageError("--separator goes with --csv");
        separator = *given;
    }
    db::Connection connection;
    open(connection, login);
    const Competition competition = readCompetition(connection);
    const std::vector<ArcherResult> archers = readArcherResults(connection);
    connection.disconnect();
    const std::string count = std::to_string(archers.size()) + (archers.size() == 1 ? " archer" : " archers");
    if (csv) {
        writeFile(path(*csv), startListAsCsv(archers, separator));
        std::cout << "wrote the start list " << *csv << " (" << count << ")\n";
    }
    if (pdf) {
        DocumentApplication app;
        writeStartListPdf(competition, archers, path(*pdf));
        std::cout << "wrote the start list " << *pdf << " (" << count << ")\n";
    }
    return 0;
}

} // namespace

int runStartListCommand(const Invocation& in)
{
    return startList(in, in.login);
}

int runResultsCommand(const Invocation& in)
{
    return results(in, in.login);
}

int runListsCommand(const Invocation& in)
{
    return lists(in, in.login);
}

int runScorecardCommand(const Invocation& in)
{
    return scorecard(in, in.login);
}

int runBoardCommand(const Invocation& in)
{
    std::optional<std::string> list;
    if (const auto l = in.value("--list"))
        list = latin1Argument(*l, "--list");
    std::optional<QString> screenshot;
    if (const auto s = in.value("--screenshot"))
        screenshot = path(*s);
    if (screenshot && in.has("--window"))
        throw UsageError("--window shows the board; --screenshot only takes its pictures");
    return runBoard(*in.argc, in.argv, in.login, list, screenshot, in.has("--window"));
}
