#pragma once
// The commands around the results: results, lists, scorecard, board
// and the start list.

#include "host/commands.h"

int runResultsCommand(const Invocation& in);
int runListsCommand(const Invocation& in);
int runScorecardCommand(const Invocation& in);
int runBoardCommand(const Invocation& in);
// The start list of the archers command: --pdf and --csv files.
int runStartListCommand(const Invocation& in);
