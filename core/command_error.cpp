#include "core/command_error.h"

#include "core/text_trim.h"

#include <algorithm>

std::string oneLine(const std::string& message)
{
    // Server messages come as lines, the later ones led by "-".
    std::string out;
    std::size_t start = 0;
    while (start <= message.size()) {
        std::size_t end = message.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        // A leading "-" marks a later line of the server's message.
        std::string_view line = trimmedView(std::string_view(message).substr(start, end - start), " \t");
        line.remove_prefix(std::min(line.find_first_not_of(" -\t"), line.size()));
        if (!line.empty()) {
            if (!out.empty())
                out += out.back() == '.' ? " " : "; ";
            out += line;
        }
        start = end + 1;
    }
    return out;
}
