#include "core/command_error.h"

std::string oneLine(const std::string& message)
{
    // Server messages come as lines, the later ones led by "-".
    std::string out;
    std::size_t start = 0;
    while (start <= message.size()) {
        std::size_t end = message.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        std::string line = message.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(" -\t");
        const std::size_t last = line.find_last_not_of(" \t");
        if (first != std::string::npos) {
            if (!out.empty())
                out += out.back() == '.' ? " " : "; ";
            out += line.substr(first, last - first + 1);
        }
        start = end + 1;
    }
    return out;
}
