#pragma once
// The commands that close a competition: its details, archer status,
// shoot-offs, list settings and the check of the signed cards.

#include "host/commands.h"

#include <QStringList>

int runCompetitionCommand(const Invocation& in);
int runShootOffCommand(const Invocation& in);
int runVerifyCommand(const Invocation& in);

// `lists DB set NAME TEAMSIZE=N CUTOFF=N`.
int setListOptions(const Invocation& in);

// Takes the STATUS=... assignment out of an archer change and applies it
// (DNS, DNF, DSQ, or empty to clear); the other assignments stay.
void applyArcherStatus(const Invocation& in, std::int32_t archerId, QStringList& assignments);
