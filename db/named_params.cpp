#include "db/named_params.h"

#include <algorithm>
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
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto copyUntil = [&](std::size_t end) {
        end = std::min(end, n);
        out.sql.append(text, i, end - i);
        i = end;
    };
    while (i < n) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            std::size_t close = text.find(c, i + 1);
            copyUntil(close == std::string::npos ? n : close + 1);
        } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            copyUntil(text.find('\n', i));
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            std::size_t close = text.find("*/", i + 2);
            copyUntil(close == std::string::npos ? n : close + 2);
        } else if (c == ':' && i + 1 < n && nameStart(text[i + 1])) {
            std::size_t end = i + 1;
            while (end < n && nameChar(text[end]))
                ++end;
            out.names.push_back(text.substr(i + 1, end - i - 1));
            out.sql += '?';
            i = end;
        } else {
            out.sql += c;
            ++i;
        }
    }
    return out;
}

} // namespace db::detail
