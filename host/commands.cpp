#include "host/commands.h"

#include "db/error.h"
#include "data/competition_io.h"
#include "roster/demo.h"
#include "core/csv_writer.h"
#include "roster/export.h"
#include "core/command_error.h"
#include "roster/import.h"
#include "host/final_commands.h"
#include "host/history_command.h"
#include "host/points.h"
#include "host/station_context.h"
#include "host/results_commands.h"
#include "host/serve_command.h"
#include "host/station_login.h"
#include "roster/roster.h"

#include <algorithm>
#include <exception>
#include <iostream>

namespace {

std::string counted(int n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int runInit(const Invocation& in)
{
    initCompetition(in.login);
    std::cout << "created the empty competition " << in.login.database << "\n";
    return 0;
}

int runDemo(const Invocation& in)
{
    createDemoCompetition(in.login);
    std::cout << "created the demo competition " << in.login.database << ": 40 archers on 14 lanes\n";
    return 0;
}

QString argument(const std::string& text)
{
    return QString::fromLocal8Bit(text.c_str());
}

int runImport(const Invocation& in)
{
    ImportOptions options;
    options.strict = in.has("--strict");
    options.clubAsTeam = in.has("--club-as-team");
    if (const auto map = in.value("--map"))
        options.columnMap = argument(*map);
    const ImportSummary s = importArchers(in.login, argument(in.arguments[1]), options);
    for (const std::string& note : s.notes)
        std::cout << note << "\n";
    std::cout << "imported " << counted(s.archers, "archer", "archers") << "; added "
              << counted(s.countries, "country", "countries") << ", "
              << counted(s.bowTypes, "bow type", "bow types") << ", "
              << counted(s.ageClasses, "age class", "age classes") << ", "
              << counted(s.shootingClasses, "shooting class", "shooting classes") << "\n";
    return 0;
}

int runArchers(const Invocation& in)
{
    if (in.has("--pdf") || in.has("--csv"))
        return runStartListCommand(in);
    if (in.has("--separator"))
        throw UsageError("--separator goes with --csv");
    listArchers(in.login, std::cout);
    return 0;
}

int runArcher(const Invocation& in)
{
    const std::int32_t id = archerIdArgument(argument(in.arguments[1]));
    const std::string& action = in.arguments[2];
    if (action == "set") {
        if (in.has("--with-points"))
            throw UsageError("--with-points belongs to archer DB ID remove");
        QStringList assignments;
        for (std::size_t i = 3; i < in.arguments.size(); ++i)
            assignments << argument(in.arguments[i]);
        if (assignments.isEmpty())
            throw UsageError("usage: tallyon archer DB ID set COLUMN=VALUE ...");
        // STATUS lives in a table of its own beside ARCHER.
        applyArcherStatus(in, id, assignments);
        if (!assignments.isEmpty())
            changeArcher(in.login, id, assignments, std::cout);
    } else if (action == "remove") {
        if (in.arguments.size() > 3)
            throw UsageError("usage: tallyon archer DB ID remove [--with-points]");
        removeArcher(in.login, id, in.has("--with-points"), std::cout);
    } else {
        throw UsageError("usage: tallyon archer DB ID set COLUMN=VALUE ... | remove [--with-points]");
    }
    return 0;
}

int runExport(const Invocation& in)
{
    const auto file = in.value("--csv");
    if (!file)
        throw UsageError("usage: tallyon export DB --csv FILE.csv [--separator C]");
    QChar separator = u',';
    if (const auto s = in.value("--separator")) {
        const auto given = csvSeparatorFromArgument(QString::fromLocal8Bit(s->c_str()));
        if (!given)
            throw UsageError("--separator takes one character (or \"tab\"), not \"" + *s + "\"");
        separator = *given;
    }
    const ExportSummary s = exportCompetition(in.login, argument(*file), separator);
    std::cout << "exported " << counted(s.archers, "archer", "archers") << " with "
              << counted(s.arrows, "arrow", "arrows") << " to " << *file << "\n";
    return 0;
}

int runPointsCommand(const Invocation& in)
{
    std::optional<QString> screenshot;
    if (const auto file = in.value("--screenshot"))
        screenshot = QString::fromLocal8Bit(file->c_str());
    const auto named = in.value("--station");
    return runPoints(*in.argc, in.argv, in.login, screenshot, named ? CheckedStationName(*named) : DefaultStationName(),
                     named.has_value());
}

int runStationLogin(const Invocation& in)
{
    std::optional<std::string> password;
    if (const auto file = in.value("--station-password-file"))
        password = readPasswordFile(*file, "--station-password-file");
    createStationLogin(in.login, in.arguments[1], password, std::cout);
    return 0;
}

// The options every command takes.
const std::vector<CommandOption> kCommonOptions = {
    {"--user", "NAME"}, {"--password", "WORD"}, {"--password-file", "FILE"}};

const CommandOption* findOption(const std::string& name)
{
    for (const CommandOption& o : kCommonOptions) {
        if (name == o.name)
            return &o;
    }
    for (const Command& c : commands()) {
        for (const CommandOption& o : c.options) {
            if (name == o.name)
                return &o;
        }
    }
    return nullptr;
}

const Command* findCommand(const std::string& name)
{
    for (const Command& c : commands()) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

bool belongsTo(const Command& command, const std::string& option)
{
    return std::any_of(command.options.begin(), command.options.end(),
                       [&](const CommandOption& o) { return option == o.name; });
}

// The first command that takes the option, for the message that refuses it elsewhere.
const Command* ownerOf(const std::string& option)
{
    for (const Command& c : commands()) {
        if (belongsTo(c, option))
            return &c;
    }
    return nullptr;
}

void printHelp()
{
    std::cout << "usage: tallyon COMMAND DB [ARGS] [--user NAME] [--password-file FILE]\n\ncommands:\n";
    for (const Command& c : commands()) {
        std::string usage = c.usage;
        usage.resize(std::max<std::size_t>(usage.size(), 36), ' ');
        std::cout << "  " << usage << c.help << "\n";
    }
    std::cout << "\nDB is a file path (opened in this process) or host[/port]:path on a Firebird server.\n"
                 "On a server, --user and --password-file FILE (a file only you can read), or ISC_USER\n"
                 "and ISC_PASSWORD, log in; --password WORD works too, but others see it in the process list.\n"
                 "CSV columns: LANENO, LANELETTER, NAME, SEX, COUNTRY, BOWTYPE, AGECLASS, SHOOTINGCLASS,\n"
                 "and optionally LANE, USERDEF1, USERDEF2, ENABLETEAM, ENABLEFINALS, STATUS (DNS, DNF, DSQ),\n"
                 "FIRSTNAME, CLUB (kept in USERDEF1); German and French header words (Scheibe, Vorname, Verein,\n"
                 "Bogenart...) are known; without LANELETTER the lane number column holds lanes such as 12A;\n"
                 "separated by commas, semicolons or tabs; UTF-8, or else Windows-1252.\n";
}

struct CommandLine {
    std::string command;
    Invocation invocation;
    LoginOptions login;
    bool help = false;
};

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            const CommandOption* option = findOption(arg);
            if (!option)
                throw UsageError("unknown option " + arg);
            std::string value;
            if (option->valueName) {
                if (i + 1 >= argc)
                    throw UsageError(arg + " needs a value");
                value = argv[++i];
            }
            if (arg == "--user")
                line.login.user = value;
            else if (arg == "--password")
                line.login.password = value;
            else if (arg == "--password-file")
                line.login.passwordFile = value;
            else
                line.invocation.options[arg] = value;
        } else if (line.command.empty()) {
            line.command = arg;
        } else {
            line.invocation.arguments.push_back(arg);
        }
    }
    return line;
}

int run(int argc, char** argv)
{
    CommandLine line = parseCommandLine(argc, argv);
    if (line.command.empty() || line.command == "help") {
        printHelp();
        return line.command.empty() && !line.help ? 2 : 0;
    }
    const Command* command = findCommand(line.command);
    if (!command)
        throw UsageError("unknown command " + line.command + " (try tallyon --help)");
    if (line.help) {
        for (const Command& c : commands()) {
            if (line.command == c.name)
                std::cout << "usage: tallyon " << c.usage << "\n  " << c.help << "\n";
        }
        return 0;
    }
    Invocation& in = line.invocation;
    if (in.arguments.size() < command->minArguments || in.arguments.size() > command->maxArguments)
        throw UsageError(std::string("usage: tallyon ") + command->usage);
    for (const auto& [option, value] : in.options) {
        if (!belongsTo(*command, option)) {
            const Command* owner = ownerOf(option);
            throw UsageError(option + " belongs to the " + (owner ? owner->name : "other") + " command");
        }
    }
    in.login = makeLogin(in.arguments[0], line.login);
    in.argc = &argc;
    in.argv = argv;
    try {
        return command->run(in);
    } catch (const db::DbError& e) {
        // Damage found past the check on opening: said so, not in the engine's words alone.
        if (e.tellsOfDamage())
            throw CommandError(damagedText(in.login.database, "reading it failed", e));
        throw;
    }
}

} // namespace

std::optional<std::string> Invocation::value(const std::string& option) const
{
    const auto it = options.find(option);
    if (it == options.end())
        return std::nullopt;
    return it->second;
}

const std::vector<Command>& commands()
{
    static const std::vector<Command> table = {
        {"init", "init DB", "create an empty competition database", 1, 1, {}, runInit},
        {"demo", "demo DB", "create a demo competition: 40 archers on 14 lanes, some already scored", 1, 1, {},
         runDemo},
        {"import", "import DB FILE.csv [--strict] [--map \"HEADER=COLUMN,...\"] [--club-as-team]",
         "add the archers of a CSV file, all or none; --strict refuses unknown columns, --map names the file's "
         "own headers, --club-as-team makes the club the team instead of the country", 2, 2,
         {{"--strict", nullptr}, {"--map", "HEADER=COLUMN,..."}, {"--club-as-team", nullptr}}, runImport},
        {"archers", "archers DB [--pdf FILE] [--csv FILE [--separator C]]",
         "list the archers in lane order with their arrows entered; --pdf and --csv write the start list", 1, 1,
         {{"--pdf", "FILE"}, {"--csv", "FILE"}, {"--separator", "C"}}, runArchers},
        {"archer", "archer DB ID set COLUMN=VALUE ...",
         "change an archer's NAME, LANE, LANENO, LANELETTER, SEX, COUNTRY, classes, STATUS (DNS, DNF, DSQ)...", 3, kAnyNumber,
         {{"--with-points", nullptr}}, runArcher},
        {"archer", "archer DB ID remove [--with-points]",
         "remove an archer; one with arrows entered only with --with-points", 3, kAnyNumber,
         {{"--with-points", nullptr}}, runArcher},
        {"export", "export DB --csv FILE.csv [--separator C]", "write every archer with every arrow to a CSV file", 1, 1,
         {{"--csv", "FILE.csv"}, {"--separator", "C"}}, runExport},
        {"points", "points DB [--station NAME] [--screenshot FILE.png]",
         "open the points window; --station names this station in the arrows' history (default: the host name); "
         "with --screenshot write it as PNG and quit", 1, 1,
         {{"--screenshot", "FILE.png"}, {"--station", "NAME"}}, runPointsCommand},
        {"history", "history DB ID|--lane LANE [--csv FILE]",
         "every change of an archer's arrows, oldest first: when, which station and user, from what to what", 1, 2,
         {{"--lane", "LANE"}, {"--csv", "FILE"}}, runHistoryCommand},
        {"results", "results DB [--list NAME] [--csv FILE [--separator C]] [--pdf FILE] [--html FILE]",
         "rank the archers of every result list: a table, or CSV, PDF and HTML files", 1, 1,
         {{"--list", "NAME"}, {"--csv", "FILE"}, {"--separator", "C"}, {"--pdf", "FILE"}, {"--html", "FILE"}},
         runResultsCommand},
        {"lists", "lists DB show | add NAME [CONDITION] [--team] | set NAME TEAMSIZE=N CUTOFF=N | remove NAME",
         "show, add, set or remove result lists; CONDITION tests ARCHER columns: \"BOWTYPE = 'Recurve' and SEX = 'F'\"",
         2, 5, {{"--team", nullptr}}, runListsCommand},
        {"scorecard", "scorecard DB ARCHER-ID|--lane LANE|--all [--blank] --pdf FILE [--html FILE]",
         "score cards as on paper, two an A4 page, with the archer's number as a barcode; --blank leaves the "
         "ends empty for the target", 1, 2,
         {{"--lane", "LANE"}, {"--all", nullptr}, {"--blank", nullptr}, {"--pdf", "FILE"}, {"--html", "FILE"}},
         runScorecardCommand},
        {"station-login", "station-login DB NAME [--station-password-file FILE]",
         "as organiser, make a server login for the stations: reads archers, writes arrows, nothing else; "
         "its password from the file, or made up and shown once", 2, 2,
         {{"--station-password-file", "FILE"}}, runStationLogin},
        {"board", "board DB [--list NAME] [--window] [--screenshot FILE.png]",
         "the results full screen for the hall, page by page, shown anew after every save; --window in a window, "
         "--screenshot writes each page as PNG", 1, 1,
         {{"--list", "NAME"}, {"--window", nullptr}, {"--screenshot", "FILE.png"}}, runBoardCommand},
        {"competition", "competition DB [set NAME=... PLACE=... STARTDATE=YYYY-MM-DD [FINISHEDDATE=YYYY-MM-DD]]",
         "show or set the competition's name, place and dates, which head every result", 1, kAnyNumber, {},
         runCompetitionCommand},
        {"shootoff", "shootoff DB --list NAME ID ID ...",
         "record the order a shoot-off gave archers tied on every rule, best first", 3, kAnyNumber,
         {{"--list", "NAME"}}, runShootOffCommand},
        {"verify", "verify DB [--unlock ID]",
         "check the entered cards against the signed ones in a window, each then locked; --unlock ID unlocks one",
         1, 1, {{"--unlock", "ID"}}, runVerifyCommand},
        {"serve", "serve DB [--port N] [--listen ADDRESS]",
         "the live results for phones and a hall screen over HTTP (port 8080), updated after every save", 1, 1,
         {{"--port", "N"}, {"--listen", "ADDRESS"}}, runServeCommand},
    };
    return table;
}

int runTallyon(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "tallyon: " << e.what() << "\n";
        return 2;
    } catch (const CommandError& e) {
        std::cerr << "tallyon: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "tallyon: " << oneLine(e.what()) << "\n";
        return 1;
    }
}
