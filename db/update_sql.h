#pragma once
// The four statements a query runs when one of its rows is refreshed, posted
// after an edit, posted after an append, or deleted. Parameters ":COLUMN"
// take the row's current value, ":OLD_COLUMN" the value before the edit.

#include <string>
#include <vector>

namespace db {

class UpdateSql {
public:
    std::vector<std::string> RefreshSQL;
    std::vector<std::string> ModifySQL;
    std::vector<std::string> InsertSQL;
    std::vector<std::string> DeleteSQL;
};

// Lines joined with "\n".
std::string joinLines(const std::vector<std::string>& lines);

} // namespace db
