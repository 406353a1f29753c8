#include "db/sql_text.h"

namespace db {

namespace {

// Where the piece that starts at i ends, for a quote or a comment opening
// there; npos when none opens at i.
std::size_t specialEnd(std::string_view text, std::size_t i, SqlPieceKind& kind)
{
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '\'' || c == '"') {
        kind = SqlPieceKind::Quoted;
        std::size_t close = text.find(c, i + 1);
        // A doubled quote stands for one quote inside the piece.
        while (close != std::string_view::npos && close + 1 < text.size() && text[close + 1] == c)
            close = text.find(c, close + 2);
        return close == std::string_view::npos ? text.size() : close + 1;
    }
    if (c == '-' && next == '-') {
        kind = SqlPieceKind::LineComment;
        const std::size_t eol = text.find('\n', i);
        return eol == std::string_view::npos ? text.size() : eol;
    }
    if (c == '/' && next == '*') {
        kind = SqlPieceKind::BlockComment;
        const std::size_t close = text.find("*/", i + 2);
        return close == std::string_view::npos ? text.size() : close + 2;
    }
    return std::string_view::npos;
}

} // namespace

std::vector<SqlPiece> splitSqlText(std::string_view text)
{
    std::vector<SqlPiece> pieces;
    std::size_t codeStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        SqlPieceKind kind = SqlPieceKind::Code;
        const std::size_t end = specialEnd(text, i, kind);
        if (end == std::string_view::npos) {
            ++i;
            continue;
        }
        if (i > codeStart)
            pieces.push_back({SqlPieceKind::Code, text.substr(codeStart, i - codeStart)});
        pieces.push_back({kind, text.substr(i, end - i)});
        i = codeStart = end;
    }
    if (text.size() > codeStart)
        pieces.push_back({SqlPieceKind::Code, text.substr(codeStart)});
    return pieces;
}

} // namespace db
