#pragma once
// The round format of the tournament: two rounds of 30 arrows, shot in
// ends of three. Every layer counts boxes, arrows and ends from here.

inline constexpr int RoundCount = 2;
inline constexpr int ArrowsPerRound = 30;
inline constexpr int ArrowsPerEnd = 3;
inline constexpr int ArrowsPerCard = RoundCount * ArrowsPerRound;
inline constexpr int EndsPerRound = ArrowsPerRound / ArrowsPerEnd;

static_assert(ArrowsPerRound % ArrowsPerEnd == 0, "a round is whole ends");
