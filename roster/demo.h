#pragma once
// The demo competition.

#include "data/competition_login.h"

// A new database holding a demo competition: 40 archers on 14 lanes, some
// with both rounds scored, some with the first round only.
void createDemoCompetition(const CompetitionLogin& login);
