#include "db/named_params.h"

#include "db/sql_text.h"

#include <cctype>

namespace db::detail {

namespace {

bool nameStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool nameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

} // namespace

NamedParams parseNamedParams(const std::string& text)
{
    NamedParams out;
    out.sql.reserve(text.size());
    for (const SqlPiece& piece : splitSqlText(text)) {
        if (piece.kind != SqlPieceKind::Code) {
            out.sql += piece.text;
            continue;
        }
        const std::string_view code = piece.text;
        const std::size_t n = code.size();
        std::size_t i = 0;
        while (i < n) {
            if (code[i] == ':' && i + 1 < n && nameStart(code[i + 1])) {
                std::size_t end = i + 1;
                while (end < n && nameChar(code[end]))
                    ++end;
                out.names.emplace_back(code.substr(i + 1, end - i - 1));
                out.sql += '?';
                i = end;
            } else {
                out.sql += code[i++];
            }
        }
    }
    return out;
}

} // namespace db::detail
