#pragma once
// The program's commands: one row of a table each, with its arguments, its
// options and the function that runs it.

#include "data/competition_login.h"
#include "host/login.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A command line the program cannot take; exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One run of a command, as the command line asked for it.
struct Invocation {
    std::vector<std::string> arguments;           // after the command name; the database first
    std::map<std::string, std::string> options;   // "--strict" → "", "--csv" → its value
    CompetitionLogin login;                       // for the database argument
    int* argc = nullptr;                          // the program's own, for the application object
    char** argv = nullptr;

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::optional<std::string> value(const std::string& option) const;
};

struct CommandOption {
    const char* name;          // "--screenshot"
    const char* valueName;     // "FILE.png"; nullptr for an option without a value
};

struct Command {
    const char* name;
    const char* usage;         // after "tallyon "
    const char* help;
    std::size_t minArguments;  // the database included
    std::size_t maxArguments;  // kAnyNumber: no limit
    std::vector<CommandOption> options;
    int (*run)(const Invocation&);   // the exit code; CommandError on failure
};

inline constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

// Every command, in the order the help lists them.
const std::vector<Command>& commands();

// Runs the program: parses the command line, runs the command, prints a
// failure as one line on standard error. Returns the exit code.
int runTallyon(int argc, char** argv);
