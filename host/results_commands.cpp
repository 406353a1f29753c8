#include "host/results_commands.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "host/board.h"
#include "host/competition_io.h"
#include "host/host_error.h"
#include "host/latin1.h"
#include "host/list_filter.h"
#include "host/login.h"
#include "host/ranking.h"
#include "host/results_output.h"
#include "host/scorecard.h"

#include <QGuiApplication>

#include <iostream>
#include <map>
#include <optional>
#include <vector>

namespace {

const ResultsCommandHelp kCommands[] = {
    {"results", "results DB [--list NAME] [--csv FILE] [--separator C] [--pdf FILE] [--html FILE]",
     "rank the archers of every result list; a table, or CSV, PDF, HTML files"},
    {"lists", "lists DB show | add NAME [CONDITION] [--team] | remove NAME",
     "show, add or remove result lists (CONDITION on ARCHER columns, e.g. \"BOWTYPE = 'Recurve' and SEX = 'F'\")"},
    {"scorecard", "scorecard DB ARCHER-ID|--lane LANE|--all --pdf FILE [--html FILE]",
     "score cards as on paper, one a page"},
    {"board", "board DB [--list NAME] [--screenshot FILE.png]",
     "the results on a big screen, shown anew after every save"},
};

class CommandUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string command;
    std::vector<std::string> positional;
    LoginOptions login;
    std::map<std::string, std::string> values;   // --option VALUE
    bool all = false;
    bool team = false;
};

const char* const kValueOptions[] = {"--list", "--csv", "--pdf", "--html", "--separator", "--lane", "--screenshot"};

Options parse(int argc, char** argv)
{
    Options o;
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&] {
            if (i + 1 >= argc)
                throw CommandUsageError(arg + " needs a value");
            return std::string(argv[++i]);
        };
        if (arg == "--user") {
            o.login.user = value();
        } else if (arg == "--password") {
            o.login.password = value();
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--team") {
            o.team = true;
        } else if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) != std::end(kValueOptions)) {
            if (!o.values.emplace(arg, value()).second)
                throw CommandUsageError(arg + " is given twice");
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg.size() > 1 && std::isdigit(static_cast<unsigned char>(arg[1])))) {
            throw CommandUsageError("unknown option " + arg);
        } else {
            o.positional.push_back(arg);
        }
    }
    return o;
}

const ResultsCommandHelp& help(const std::string& name)
{
    for (const ResultsCommandHelp& c : kCommands) {
        if (name == c.name)
            return c;
    }
    throw std::logic_error("no command " + name);
}

[[noreturn]] void usage(const std::string& command)
{
    throw CommandUsageError(std::string("usage: tallyon ") + help(command).usage);
}

void allowOnly(const Options& o, std::initializer_list<const char*> allowed, bool allAllowed = false, bool teamAllowed = false)
{
    for (const auto& [option, value] : o.values) {
        if (std::find_if(allowed.begin(), allowed.end(), [&](const char* a) { return option == a; }) == allowed.end())
            throw CommandUsageError(option + " does not belong to the " + o.command + " command");
    }
    if (o.all && !allAllowed)
        throw CommandUsageError("--all does not belong to the " + o.command + " command");
    if (o.team && !teamAllowed)
        throw CommandUsageError("--team does not belong to the " + o.command + " command");
}

std::optional<std::string> option(const Options& o, const char* name)
{
    const auto it = o.values.find(name);
    if (it == o.values.end())
        return std::nullopt;
    return it->second;
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
        throw HostError(std::string(what) + " holds \"" + bad.toStdString() + "\", which ISO 8859-1 cannot hold");
    return *bytes;
}

void printText(const QString& text)
{
    std::cout << text.toLocal8Bit().toStdString() << std::flush;
}

QString latin1Text(const std::string& bytes)
{
    return fromLatin1(bytes);
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

int results(const Options& o, const CompetitionLogin& login)
{
    allowOnly(o, {"--list", "--csv", "--pdf", "--html", "--separator"});
    if (o.positional.size() != 1)
        usage(o.command);
    QChar separator = u',';
    if (const auto s = option(o, "--separator")) {
        const QString text = QString::fromLocal8Bit(s->c_str());
        if (text == u"tab" || text == u"\\t")
            separator = u'\t';
        else if (text.size() == 1 && text[0] != u'"' && text[0] != u'\n' && text[0] != u'\r')
            separator = text[0];
        else
            throw CommandUsageError("--separator takes one character (or \"tab\"), not \"" + *s + "\"");
        if (!option(o, "--csv"))
            throw CommandUsageError("--separator belongs to --csv");
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
    return 0;
}

bool listExists(db::Connection& connection, const std::string& name)
{
    db::Transaction transaction(&connection);
    db::Query q(&connection, &transaction);
    q.sqlAdd("select LISTNAME from RESULTLISTS where LISTNAME = ?");
    q.setParams({db::Value(name)});
    q.open();
    const bool found = !q.isEmpty();
    q.close();
    transaction.commit();
    return found;
}

int lists(const Options& o, const CompetitionLogin& login)
{
    if (o.positional.size() < 2)
        usage(o.command);
    const std::string action = o.positional[1];
    allowOnly(o, {}, false, action == "add");
    db::Connection connection;
    open(connection, login);

    if (action == "show") {
        if (o.positional.size() != 2)
            usage(o.command);
        db::Transaction transaction(&connection);
        db::Query q(&connection, &transaction);
        q.sqlAdd("select LISTNAME, LISTFILTER, APPLYTO from RESULTLISTS order by APPLYTO, LISTNAME");
        q.open();
        struct Row {
            std::string name, filter, applyTo;
        };
        std::vector<Row> rows;
        for (q.first(); !q.eof(); q.next())
            rows.push_back({q.fieldByName("LISTNAME").asString(), q.fieldByName("LISTFILTER").asString(),
                            q.fieldByName("APPLYTO").asString()});
        q.close();
        transaction.commit();
        if (rows.empty()) {
            std::cout << "no result lists: results are listed per bow type, shooting class, age class and sex\n";
            return 0;
        }
        std::vector<QStringList> table{{QStringLiteral("List"), QStringLiteral("For"), QStringLiteral("Archers"),
                                        QStringLiteral("Condition")}};
        for (const Row& r : rows) {
            QString archers;
            try {
                archers = QString::number(archersOfList(connection, r.name, r.filter).size());
            } catch (const HostError& e) {
                archers = QStringLiteral("refused: ") + QString::fromStdString(e.what());
            }
            table.push_back({latin1Text(r.name), latin1Text(r.applyTo), archers,
                             r.filter.empty() ? QStringLiteral("(every archer)") : latin1Text(r.filter)});
        }
        std::vector<qsizetype> width(4, 0);
        for (const QStringList& row : table) {
            for (int c = 0; c < 3; ++c)
                width[std::size_t(c)] = std::max(width[std::size_t(c)], row[c].size());
        }
        QString out;
        for (const QStringList& row : table)
            out += row[0].leftJustified(width[0]) + QStringLiteral("  ") + row[1].leftJustified(width[1])
                   + QStringLiteral("  ") + row[2].rightJustified(width[2]) + QStringLiteral("  ") + row[3] + u'\n';
        printText(out);
        return 0;
    }
    if (action == "add") {
        if (o.positional.size() < 3 || o.positional.size() > 4)
            usage(o.command);
        const std::string name = latin1Argument(o.positional[2], "the list's name");
        const std::string filter = o.positional.size() == 4 ? latin1Argument(o.positional[3], "the condition") : "";
        if (name.empty() || name.size() > 60)
            throw HostError("a list's name has 1 to 60 characters");
        try {
            compileListFilter(filter);
        } catch (const ListFilterError& e) {
            throw HostError("the condition is refused: " + std::string(e.what()));
        }
        const std::size_t archers = archersOfList(connection, name, filter).size();
        if (listExists(connection, name))
            throw HostError("there is a result list \"" + o.positional[2] + "\" already");
        db::Transaction transaction(&connection);
        db::Statement insert(&connection, &transaction);
        insert.sqlAdd("insert into RESULTLISTS (LISTNAME, LISTFILTER, APPLYTO) values (?, ?, ?)");
        insert.execute({db::Value(name), filter.empty() ? db::Value() : db::Value(filter),
                        db::Value(o.team ? "TEAM" : "INDIVIDUAL")});
        transaction.commit();
        std::cout << "added the result list " << o.positional[2] << ": " << archers
                  << (archers == 1 ? " archer" : " archers") << " now\n";
        return 0;
    }
    if (action == "remove") {
        if (o.positional.size() != 3)
            usage(o.command);
        const std::string name = latin1Argument(o.positional[2], "the list's name");
        if (!listExists(connection, name))
            throw HostError("there is no result list \"" + o.positional[2] + "\"");
        db::Transaction transaction(&connection);
        db::Statement remove(&connection, &transaction);
        remove.sqlAdd("delete from RESULTLISTS where LISTNAME = ?");
        remove.execute({db::Value(name)});
        transaction.commit();
        std::cout << "removed the result list " << o.positional[2] << "\n";
        return 0;
    }
    usage(o.command);
}

std::vector<std::int32_t> selectedArchers(db::Connection& connection, const Options& o)
{
    const auto lane = option(o, "--lane");
    const int ways = int(o.positional.size() == 2) + int(bool(lane)) + int(o.all);
    if (o.positional.size() > 2 || ways != 1)
        throw CommandUsageError("name the archers once: an ARCHER-ID, --lane LANE or --all");
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    std::string what;
    if (o.all) {
        q.sqlAdd("select ARCHERID from ARCHER");
        what = "the competition has no archers";
    } else if (lane) {
        // A lane label ("5A") names its archer; a bare number names the
        // archers of that lane.
        const std::string label = latin1Argument(*lane, "--lane");
        bool isNumber = !label.empty() && label.size() < 9
                        && std::all_of(label.begin(), label.end(), [](char c) { return c >= '0' && c <= '9'; });
        q.sqlAdd("select ARCHERID from ARCHER where LANE = ?" + std::string(isNumber ? " or LANENO = ?" : ""));
        std::vector<db::Value> params{db::Value(label)};
        if (isNumber)
            params.push_back(db::Value(std::stoi(label)));
        q.setParams(params);
        what = "no archer shoots on lane " + *lane;
    } else {
        const std::string& id = o.positional[1];
        if (id.empty() || id.size() > 9 || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
            throw CommandUsageError("\"" + id + "\" is no archer number");
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
        throw HostError(what);
    return ids;
}

Competition readCompetition(db::Connection& connection)
{
    Competition c;
    db::Transaction transaction(&connection);
    db::Query q(&connection, &transaction);
    q.sqlAdd("select first 1 NAME, PLACE from COMPETITION");
    q.open();
    if (!q.isEmpty()) {
        c.name = q.fieldByName("NAME").asString();
        c.place = q.fieldByName("PLACE").asString();
    }
    q.close();
    transaction.commit();
    return c;
}

int scorecard(const Options& o, const CompetitionLogin& login)
{
    allowOnly(o, {"--lane", "--pdf", "--html"}, true);
    const auto pdf = option(o, "--pdf");
    const auto html = option(o, "--html");
    if (!pdf && !html)
        throw CommandUsageError("scorecard writes a file: give --pdf FILE");
    db::Connection connection;
    open(connection, login);
    const std::vector<std::int32_t> ids = selectedArchers(connection, o);
    const Competition competition = readCompetition(connection);
    const std::vector<ArcherResult> archers = readArcherResults(connection, &ids);
    connection.disconnect();

    DocumentApplication app;
    const QString document = scorecardsAsHtml(competition, archers);
    const std::string cards = std::to_string(archers.size()) + (archers.size() == 1 ? " card" : " cards");
    if (html) {
        writeFile(path(*html), document.toUtf8());
        std::cout << "wrote " << *html << " (" << cards << ")\n";
    }
    if (pdf) {
        writePdf(document, path(*pdf), QStringLiteral("Score cards"));
        std::cout << "wrote " << *pdf << " (" << cards << ")\n";
    }
    return 0;
}

int board(int argc, char** argv, const Options& o, const CompetitionLogin& login)
{
    allowOnly(o, {"--list", "--screenshot"});
    if (o.positional.size() != 1)
        usage(o.command);
    std::optional<std::string> list;
    if (const auto l = option(o, "--list"))
        list = latin1Argument(*l, "--list");
    std::optional<QString> screenshot;
    if (const auto s = option(o, "--screenshot"))
        screenshot = path(*s);
    return runBoard(argc, argv, login, list, screenshot);
}

} // namespace

const ResultsCommandHelp* resultsCommands(std::size_t* count)
{
    *count = std::size(kCommands);
    return kCommands;
}

bool isResultsCommand(const std::string& name)
{
    return std::any_of(std::begin(kCommands), std::end(kCommands),
                       [&](const ResultsCommandHelp& c) { return name == c.name; });
}

int runResultsCommand(int argc, char** argv)
{
    try {
        for (int i = 2; i < argc; ++i) {
            if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
                const ResultsCommandHelp& c = help(argv[1]);
                std::cout << "usage: tallyon " << c.usage << "\n  " << c.help << "\n";
                return 0;
            }
        }
        const Options o = parse(argc, argv);
        if (o.positional.empty())
            usage(o.command);
        const CompetitionLogin login = makeLogin(o.positional[0], o.login);
        if (o.command == "results")
            return results(o, login);
        if (o.command == "lists")
            return lists(o, login);
        if (o.command == "scorecard")
            return scorecard(o, login);
        return board(argc, argv, o, login);
    } catch (const CommandUsageError& e) {
        std::cerr << "tallyon: " << e.what() << "\n";
        return 2;
    }
}
