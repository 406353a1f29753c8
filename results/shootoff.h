#pragma once
// Recording the result of a shoot-off between archers tied on every rule.

#include <cstdint>
#include <string>
#include <vector>

namespace db { class Connection; }

// Records the order (best first) of archers on an individual list, after
// checking that they are on it, neither DNS nor DSQ, and tied with each
// other on every rule; replaces what was recorded for their tie. Returns
// the line that reports it (UTF-8); CommandError naming the archers on a
// refusal, and nothing is written then.
std::string recordShootOff(db::Connection& connection, const std::string& listName,
                           const std::vector<std::int32_t>& order);
