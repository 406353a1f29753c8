#pragma once
// Errors of the dataset layer: what the server said, and misuse of our own API.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace db {

// An error reported by the Firebird server or client library. what() is the
// server's whole formatted message, every status line as the server words it.
class DbError : public std::runtime_error {
public:
    DbError(std::string message, std::vector<std::intptr_t> codes, std::string sqlState);

    // The status vector's codes: isc_arg_gds codes only, in order.
    const std::vector<std::intptr_t>& codes() const { return codes_; }
    bool hasCode(std::intptr_t code) const;
    const std::string& sqlState() const { return sqlState_; }

private:
    std::vector<std::intptr_t> codes_;
    std::string sqlState_;
};

// Misuse of the dataset layer: a column that does not exist, post while not
// editing, moving a closed query and the like.
class UsageError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

} // namespace db
