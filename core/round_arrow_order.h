#pragma once
// Arrows and arrow boxes stand in ascending round, then arrow order. One
// comparison serves both: anything with RoundNo and ArrowNo members.

#include <cstdint>

template <class A, class B>
std::int32_t CompareRoundThenArrow(const A& a, const B& b)
{
    if (const std::int32_t byRound = a.RoundNo - b.RoundNo; byRound != 0)
        return byRound;
    return a.ArrowNo - b.ArrowNo;
}
