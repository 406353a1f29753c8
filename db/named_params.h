#pragma once
// Inside the dataset layer only: the lexer that turns ":NAME" parameters of a
// statement text into positional ones.

#include <string>
#include <vector>

namespace db::detail {

// Statement text with ":NAME" parameters turned into "?" (quoted strings,
// quoted identifiers and comments are left alone).
struct NamedParams {
    std::string sql;
    std::vector<std::string> names;
};
NamedParams parseNamedParams(const std::string& text);

} // namespace db::detail
