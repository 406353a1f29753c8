#pragma once
// A plain statement without a result set (an update, insert or delete),
// with positional "?" parameters.

#include "db/value.h"

#include <memory>
#include <string>
#include <vector>

namespace db {

class Connection;
class Transaction;

class Statement {
public:
    explicit Statement(Connection* connection = nullptr, Transaction* transaction = nullptr);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void setConnection(Connection* c) { connection_ = c; }
    void setTransaction(Transaction* t) { transaction_ = t; }
    void sqlClear() { sql_.clear(); }
    void sqlAdd(std::string line) { sql_.push_back(std::move(line)); }
    // Starts the transaction when needed. Prepared once per text.
    void execute(const std::vector<Value>& params = {});
    // How many times a statement text was prepared.
    int prepareCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Connection* connection_ = nullptr;
    Transaction* transaction_ = nullptr;
    std::vector<std::string> sql_;
};

} // namespace db
