#pragma once
// The one reading of SQL text that knows where quotes and comments stand:
// what lies inside a string literal, a quoted name or a comment is never
// taken for a parameter, a statement's end or a keyword.

#include <string_view>
#include <vector>

namespace db {

enum class SqlPieceKind {
    Code,          // anything outside the three below
    Quoted,        // 'text' or "NAME", with its quotes (doubled quotes inside)
    LineComment,   // from "--" up to, not including, the line's end
    BlockComment,  // from "/*" to "*/", both included
};

struct SqlPiece {
    SqlPieceKind kind;
    std::string_view text;   // a view into the text given
};

// The text cut into pieces that together give it back whole. A quote or a
// block comment left open runs to the end of the text.
std::vector<SqlPiece> splitSqlText(std::string_view text);

} // namespace db
