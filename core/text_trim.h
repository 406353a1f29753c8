#pragma once
// Text without the white space around it, for the byte strings of the
// database and the schema script (QString has trimmed()).

#include <string>
#include <string_view>

inline std::string_view trimmedView(std::string_view text, std::string_view space = " \t\r\n")
{
    const auto begin = text.find_first_not_of(space);
    if (begin == std::string_view::npos)
        return {};
    const auto end = text.find_last_not_of(space);
    return text.substr(begin, end - begin + 1);
}

inline std::string trimmed(std::string_view text, std::string_view space = " \t\r\n")
{
    return std::string(trimmedView(text, space));
}
