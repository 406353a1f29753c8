#pragma once
// Arrows and arrow boxes stand in ascending round, then arrow order. One
// comparison serves both: anything with RoundNo and ArrowNo members.

#include <algorithm>
#include <cstdint>

// The difference of the rounds, else of the arrows; taken in 64 bits and
// held within 32, so that numbers far apart keep their order's sign.
template <class A, class B>
std::int32_t CompareRoundThenArrow(const A& a, const B& b)
{
    std::int64_t difference = std::int64_t{a.RoundNo} - std::int64_t{b.RoundNo};
    if (difference == 0)
        difference = std::int64_t{a.ArrowNo} - std::int64_t{b.ArrowNo};
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(difference, INT32_MIN, INT32_MAX));
}
