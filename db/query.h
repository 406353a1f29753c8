#pragma once
// A query over one connection and transaction, with a client-side buffer of
// every row it selected. Rows are edited or appended in the buffer and
// posted through the linked update statements.

#include "db/field.h"
#include "db/value.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class Connection;
class DbError;
class Transaction;
class UpdateSql;
class WriteBlock;

enum class DataSetState { Inactive, Browse, Edit, Insert };
// What the post-error handler asks for: raise the error (default), drop the
// pending change silently, or try the post again.
enum class PostErrorAction { Fail, Abort, Retry };

class Query {
public:
    explicit Query(Connection* connection = nullptr, Transaction* transaction = nullptr);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    void setConnection(Connection* c);
    Connection* connection() const { return connection_; }
    void setTransaction(Transaction* t) { transaction_ = t; }
    Transaction* transaction() const { return transaction_; }
    // The transaction the query works in: its own, else its connection's
    // default one; null when it has neither.
    Transaction* effectiveTransaction() const;
    void setUpdateObject(UpdateSql* u) { updateObject_ = u; }
    UpdateSql* updateObject() const { return updateObject_; }
    // On append, the key column gets the next value of the generator.
    void setGeneratorField(std::string column, std::string generator);

    // Statement text as lines. The prepared statement is kept while the
    // text stays the same.
    void sqlClear() { sql_.clear(); }
    void sqlAdd(std::string line) { sql_.push_back(std::move(line)); }
    const std::vector<std::string>& sql() const { return sql_; }
    std::string sqlText() const;
    // Values of the statement's positional "?" parameters, bound at each open.
    void setParams(std::vector<Value> params) { params_ = std::move(params); }
    const std::vector<Value>& params() const { return params_; }

    // Opening starts the transaction when none is active and fetches every row.
    void open();
    void close() noexcept;
    bool active() const { return state_ != DataSetState::Inactive; }
    DataSetState state() const { return state_; }
    // Runs the statement again and keeps the cursor on the same row index.
    void refresh();

    // Cursor over the visible rows (those the filter passes, when it is on).
    void first();
    void next();
    void prior();
    void last();
    bool eof() const;
    bool bof() const;
    bool isEmpty() const;
    int recordCount() const;
    // Exact search. keyFields "ROUNDNO;ARROWNO" (spaces around names are
    // ignored); one value per key column. Found: the row becomes current.
    // Not found: the cursor stays. Posts a pending edit first.
    bool locate(std::string_view keyFields, const std::vector<Value>& values);

    // A filter the host can set; rows it rejects are skipped while filtered.
    void setFilter(std::function<bool(const RowView&)> filter) { filter_ = std::move(filter); }
    void setFiltered(bool on);
    bool filtered() const { return filtered_; }

    int fieldCount() const;
    const std::vector<std::string>& fieldNames() const;
    int fieldIndex(std::string_view name) const;   // -1 when absent
    // UsageError "Field 'X' not found" for a column the query lacks.
    Field fieldByName(std::string_view name);

    void edit();
    void append();
    // Runs the update object's modify or insert statement in the query's
    // transaction (starting it when needed). On error the post-error handler
    // decides; the row stays in edit or insert state when the error is raised.
    void post();
    // As post, but the write travels in the block, which the caller sends
    // (WriteBlock::execute): the buffer takes the row now, and an error of
    // the write is the block's, raised by its execute without the
    // post-error handler.
    void postTo(WriteBlock& block);
    void cancel();
    // Deletes the current row through the update object's delete statement.
    void remove();

    // Events for the host's handlers.
    std::function<void(Query&)> beforePost;
    std::function<void(Query&)> onNewRecord;
    std::function<void(Query&, const DbError&, PostErrorAction&)> onPostError;

    // How many statements this query has prepared (its select, its update
    // statements, its generator): a repeated text must not add to it.
    int prepareCount() const;

private:
    friend class Connection;
    friend class Field;
    friend class RowView;

    // The statement that posts the row being edited or inserted.
    std::string postStatement() const;
    // The posted row goes from the edit into the buffer.
    void keepPosted(bool inserted);
    // Forgets the statements prepared on an attachment that is gone.
    void dropStatements() noexcept;
    const Value& value(std::size_t row, int column) const;
    const Value& currentValue(int column) const;
    void setCurrentValue(int column, Value v);
    const std::string& fieldName(int column) const;
    // The row passes the filter, or no filter is on.
    bool visible(std::size_t row) const { return !filtered_ || !filter_ || filter_(RowView(*this, row)); }
    void requireActive() const;
    // A move or an append needs an open query and posts a pending edit first.
    void postPending();
    int columnOf(std::string_view name) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
    Connection* connection_ = nullptr;
    Transaction* transaction_ = nullptr;
    UpdateSql* updateObject_ = nullptr;
    std::vector<std::string> sql_;
    std::vector<Value> params_;
    DataSetState state_ = DataSetState::Inactive;
    std::function<bool(const RowView&)> filter_;
    bool filtered_ = false;
};

} // namespace db
