#pragma once
// The commands around the results: results, lists, scorecard and board.

#include <string>

struct ResultsCommandHelp {
    const char* name;
    const char* usage;
    const char* help;
};

// The commands with their usage lines, for the program's help.
const ResultsCommandHelp* resultsCommands(std::size_t* count);
bool isResultsCommand(const std::string& name);

// Runs one of them on the whole command line (argv[1] is the command).
// Returns the exit code: 2 for a usage error; HostError and the database's
// errors go to the caller.
int runResultsCommand(int argc, char** argv);
