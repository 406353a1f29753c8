#pragma once
// A failure of one command, worded for the one line the program prints.

#include <stdexcept>
#include <string>

class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Joins the lines of a server message into one line.
std::string oneLine(const std::string& message);
