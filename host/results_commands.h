#pragma once
// The commands around the results: results, lists, scorecard and board.

#include "host/commands.h"

int runResultsCommand(const Invocation& in);
int runListsCommand(const Invocation& in);
int runScorecardCommand(const Invocation& in);
int runBoardCommand(const Invocation& in);
