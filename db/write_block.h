#pragma once
// Row writes of one transaction sent to the server together. The writes
// (updates, inserts, deletes with positional "?" parameters) are joined in
// their order into EXECUTE BLOCK statements, each as large as the server's
// limits allow, and each block travels as one request. A block runs whole or
// not at all. Its error is raised as the dataset layer raises every server
// error: a lock conflict, a duplicate key or a lost attachment as their own
// kinds; the blocks sent before it stay done in the transaction.
//
// A block may carry a condition: a select that must find a row for any of
// the writes to run. It travels in the first block, so that asking costs no
// request of its own.

#include "db/value.h"

#include <cstddef>
#include <string>
#include <vector>

namespace db {

class Connection;
class Transaction;

class WriteBlock {
public:
    explicit WriteBlock(Connection* connection = nullptr, Transaction* transaction = nullptr);

    void setConnection(Connection* c) { connection_ = c; }
    void setTransaction(Transaction* t) { transaction_ = t; }

    // One write: a statement without a result and the values of its "?"
    // parameters.
    void add(std::string sql, std::vector<Value> params);
    std::size_t size() const { return writes_.size(); }
    bool empty() const { return writes_.empty(); }
    void clear()
    {
        writes_.clear();
        dropCondition();
    }

    // The writes run only when this select (with "?" parameters) finds a
    // row in the block's transaction. The first block asks it before its
    // first write; when it finds none, no block is sent after it. Under
    // snapshot isolation its answer holds for the whole transaction.
    void onlyWhenFound(std::string select, std::vector<Value> params);
    void dropCondition();
    bool hasCondition() const { return !condition_.sql.empty(); }

    // Sends the writes in order, starting the transaction when needed, and
    // forgets them, whether they were stored or not; true. False when the
    // condition found no row: nothing was written, and the writes and the
    // condition stay in the block. Each statement text and each block text
    // is prepared once per attachment.
    bool execute();
    // How many blocks the last execute sent (or tried to send).
    int blocksSent() const { return blocksSent_; }

    // The most writes one block takes: the server compiles each write of a
    // block as a statement of one request, and a request holds at most 255
    // table contexts.
    static constexpr std::size_t maxWritesPerBlock = 100;
    // Text and parameter message of one block stay below the server's 64 kB.
    static constexpr std::size_t maxBlockBytes = 60000;

private:
    struct Write {
        std::string sql;
        std::vector<Value> params;
    };
    Connection* connection_ = nullptr;
    Transaction* transaction_ = nullptr;
    std::vector<Write> writes_;
    Write condition_;
    int blocksSent_ = 0;
};

} // namespace db
