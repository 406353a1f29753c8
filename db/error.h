#pragma once
// Errors of the dataset layer, by what the caller can do about them: what the
// server said (with the kinds a caller may answer apart), a value that does
// not convert, and misuse of our own API.

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

    // The engine tells of pages it cannot make sense of: a damaged database.
    bool tellsOfDamage() const;
    // The server could not be reached or the network failed on the way.
    bool isNetworkFailure() const;
    // The login lacks the right for what the statement does.
    bool isPermissionDenied() const;

private:
    std::vector<std::intptr_t> codes_;
    std::string sqlState_;
};

// Another transaction holds the row (update conflict, lock conflict, lock
// timeout, deadlock): trying again later may succeed.
class LockConflictError : public DbError {
public:
    using DbError::DbError;
};

// A primary or unique key that another row already has.
class DuplicateKeyError : public DbError {
public:
    using DbError::DbError;
};

// The attachment is gone: the server stopped, was shut down, killed the
// attachment, or the network failed. Work of its open transactions is lost;
// the connection attaches again before it starts new work.
class ConnectionLostError : public DbError {
public:
    using DbError::DbError;
};

// An exception raised by SQL (a trigger's or a procedure's EXCEPTION):
// raisedText() is the text it was raised with, meant for the person at the
// screen; what() is the server's whole message with the trigger's place.
class RaisedError : public DbError {
public:
    RaisedError(std::string message, std::vector<std::intptr_t> codes, std::string sqlState, std::string raised);
    const std::string& raisedText() const { return raised_; }

private:
    std::string raised_;
};

// A value that cannot be read as the type asked for: a text that is no
// number, a number too large for 32 bits.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Misuse of the dataset layer: a column that does not exist, post while not
// editing, moving a closed query and the like.
class UsageError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

} // namespace db
