#pragma once
// Checking an entered card against the card the archer signed, and the
// lock that follows: a checked card's arrows cannot be changed until the
// card is unlocked. The lock is a trigger on POINTS, so that every station,
// whatever program it runs, meets the same refusal with the same words.

#include "results/final_tables.h"
#include "results/ranking.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace db { class Connection; }

// The numbers on the signed card.
struct SignedCard {
    std::array<int, RoundCount> roundTotals{};
    int tens = 0;    // Xs counted as tens, as on the entered card
    int xs = 0;
};

// What differs, one line each ("Round 1: signed 272, entered 270"); a card
// with arrows missing (a DNF archer's aside) differs by that too. Empty when
// the cards agree.
QStringList cardDifferences(const ArcherResult& entered, const SignedCard& signedCard);

// The entered card end by end: "R1 E1: X 10 9 = 29 (29)" per end with arrows.
QStringList cardByEnds(const ArcherResult& entered);

// The archer that a typed or scanned text names: an archer number, else a
// lane label ("5B"). nullopt when none.
std::optional<std::int32_t> findArcherForCard(db::Connection& connection, const QString& text);

// Creates the table of checks, the exception and the trigger that lock
// checked cards, when missing.
void ensureCardLock(db::Connection& connection);

// Marks the card checked by `by` now; the card is locked from then on.
void markCardVerified(db::Connection& connection, std::int32_t archerId, const std::string& by);
// Unlocks the card; false when it was not locked.
bool unlockCard(db::Connection& connection, std::int32_t archerId);
std::optional<CardCheck> cardCheckOf(db::Connection& connection, std::int32_t archerId);

// The name a check is recorded under: the login's when it is a station's,
// else the computer's.
std::string checkerName(const std::string& loginUser);
