#pragma once
// The roster commands: the archer list, and changing or removing one archer.

#include "data/competition_login.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <iosfwd>

// The archers in lane order: ID, lane, name, country, the three classes
// and the arrows entered, one line each under a heading.
void listArchers(const CompetitionLogin& login, std::ostream& out);

// Changes columns of one archer, given as "COLUMN=VALUE", in one
// transaction; a bad value, an unknown column or a lane another archer
// holds refuses the whole change (CommandError). Says what changed.
void changeArcher(const CompetitionLogin& login, std::int32_t id, const QStringList& assignments, std::ostream& out);

// Removes one archer and its points rows in one transaction. CommandError
// when arrows are entered for the archer, unless withPoints.
void removeArcher(const CompetitionLogin& login, std::int32_t id, bool withPoints, std::ostream& out);

// The archer number of a command line, CommandError when it is none.
std::int32_t archerIdArgument(const QString& text);
