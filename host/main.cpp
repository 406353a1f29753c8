// tallyon: creates, fills and opens competition databases, and runs the
// points-entry module on them.

#include "host/competition_io.h"
#include "host/host_error.h"
#include "host/login.h"
#include "host/points.h"
#include "host/results_commands.h"

#include "db/error.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* help;
};

const Command kCommands[] = {
    {"init", "init DB", "create an empty competition database"},
    {"demo", "demo DB", "create a demo competition: 40 archers on 14 lanes, some already scored"},
    {"import", "import DB FILE.csv", "add the archers of a UTF-8 CSV file, all or none"},
    {"points", "points DB [--screenshot FILE.png]", "open the points window; with --screenshot write it as PNG and quit"},
};

void printHelp()
{
    std::cout << "usage: tallyon COMMAND DB [ARGS] [--user NAME] [--password WORD]\n\ncommands:\n";
    for (const Command& c : kCommands) {
        std::string usage = c.usage;
        usage.resize(std::max<std::size_t>(usage.size(), 36), ' ');
        std::cout << "  " << usage << c.help << "\n";
    }
    std::size_t count = 0;
    const ResultsCommandHelp* results = resultsCommands(&count);
    for (std::size_t i = 0; i < count; ++i)
        std::cout << "  " << results[i].usage << "\n  " << std::string(36, ' ') << results[i].help << "\n";
    std::cout << "\nDB is a file path (opened in this process) or host[/port]:path on a Firebird server.\n"
                 "--user and --password (or ISC_USER and ISC_PASSWORD) log in to a server.\n"
                 "CSV columns: LANENO, LANELETTER, LANE, NAME, SEX, COUNTRY, BOWTYPE, AGECLASS,\n"
                 "SHOOTINGCLASS, and optionally USERDEF1, USERDEF2, ENABLETEAM, ENABLEFINALS.\n";
}

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    LoginOptions login;
    std::optional<std::string> screenshot;
    bool help = false;
};

Arguments parseArguments(int argc, char** argv)
{
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](const char* option) {
            if (i + 1 >= argc)
                throw UsageError(std::string(option) + " needs a value");
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h")
            a.help = true;
        else if (arg == "--user")
            a.login.user = value("--user");
        else if (arg == "--password")
            a.login.password = value("--password");
        else if (arg == "--screenshot")
            a.screenshot = value("--screenshot");
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError("unknown option " + arg);
        else if (a.command.empty())
            a.command = arg;
        else
            a.positional.push_back(arg);
    }
    return a;
}

std::string counted(int n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const Command* findCommand(const std::string& name)
{
    for (const Command& c : kCommands) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

int run(int argc, char** argv)
{
    if (argc >= 2 && isResultsCommand(argv[1]))
        return runResultsCommand(argc, argv);
    const Arguments a = parseArguments(argc, argv);
    if (a.command.empty() || a.command == "help") {
        printHelp();
        return a.command.empty() && !a.help ? 2 : 0;
    }
    const Command* command = findCommand(a.command);
    if (!command)
        throw UsageError("unknown command " + a.command + " (try tallyon --help)");
    if (a.help) {
        std::cout << "usage: tallyon " << command->usage << "\n  " << command->help << "\n";
        return 0;
    }
    const std::size_t wanted = a.command == "import" ? 2 : 1;
    if (a.positional.size() != wanted)
        throw UsageError(std::string("usage: tallyon ") + command->usage);
    if (a.screenshot && a.command != "points")
        throw UsageError("--screenshot belongs to the points command");

    const CompetitionLogin login = makeLogin(a.positional[0], a.login);
    if (a.command == "init") {
        initCompetition(login);
        std::cout << "created the empty competition " << login.database << "\n";
    } else if (a.command == "demo") {
        createDemoCompetition(login);
        std::cout << "created the demo competition " << login.database << ": 40 archers on 14 lanes\n";
    } else if (a.command == "import") {
        const ImportSummary s = importArchers(login, QString::fromLocal8Bit(a.positional[1].c_str()));
        std::cout << "imported " << counted(s.archers, "archer", "archers") << "; added "
                  << counted(s.countries, "country", "countries") << ", "
                  << counted(s.bowTypes, "bow type", "bow types") << ", "
                  << counted(s.ageClasses, "age class", "age classes") << ", "
                  << counted(s.shootingClasses, "shooting class", "shooting classes") << "\n";
    } else {
        std::optional<QString> screenshot;
        if (a.screenshot)
            screenshot = QString::fromLocal8Bit(a.screenshot->c_str());
        return runPoints(argc, argv, login, screenshot);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "tallyon: " << e.what() << "\n";
        return 2;
    } catch (const HostError& e) {
        std::cerr << "tallyon: " << e.what() << "\n";
        return 1;
    } catch (const db::DbError& e) {
        std::cerr << "tallyon: " << oneLine(e.what()) << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "tallyon: " << oneLine(e.what()) << "\n";
        return 1;
    }
}
