#pragma once
// A transaction bound to one connection. With no parameters it runs with the
// server's defaults (concurrency, wait).

#include <memory>
#include <string>
#include <vector>

namespace Firebird { class ITransaction; }

namespace db {

class Connection;

class Transaction {
public:
    explicit Transaction(Connection* connection = nullptr);
    // Rolls back an active transaction; never throws.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void setConnection(Connection* connection);
    Connection* connection() const { return connection_; }
    // Parameter words as "read_committed", "rec_version", "nowait", "wait",
    // "concurrency", "consistency", "read", "write", "lock_timeout=5".
    // Empty: the server's defaults. UsageError for a word it does not know.
    std::vector<std::string>& params() { return params_; }

    void start();
    bool inTransaction() const;
    void commit();
    void commitRetaining();
    void rollback();
    void rollbackRetaining();

    Firebird::ITransaction* handle() const;
    // Starts the transaction when it is not active, and returns its handle.
    Firebird::ITransaction* ensureStarted();
private:
    friend class Connection;
    struct Item {
        unsigned char tag;
        int value;
        bool hasValue;
    };
    void begin(const std::vector<Item>& items);
    // Called by the connection when it detaches: drop the handle quietly.
    void abandon() noexcept;

    Connection* connection_ = nullptr;
    std::vector<std::string> params_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace db
