#pragma once
// A query over one connection and transaction, with a client-side buffer of
// every row it selected. Rows are edited or appended in the buffer and
// posted through the linked update statements.

#include "db/value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class Connection;
class DbError;
class Query;
class Transaction;
class UpdateSql;

enum class DataSetState { Inactive, Browse, Edit, Insert };
// What the post-error handler asks for: raise the error (default), drop the
// pending change silently, or try the post again.
enum class PostErrorAction { Fail, Abort, Retry };

// One column of the query's current row (the pending row while editing).
class Field {
public:
    Field(Query& query, int index) : query_(&query), index_(index) {}

    const std::string& name() const;
    const Value& value() const;
    bool isNull() const { return value().isNull(); }
    // NULL reads as empty text, numbers as decimal text.
    std::string asString() const { return value().toText(); }
    // NULL reads as 0. UsageError when the value is no 32-bit integer.
    std::int32_t asInteger() const;
    // Flag rule: true when the text begins with T, t, Y or y.
    bool asFlag() const { return value().toFlag(); }

    // Writing needs the query in edit or insert state (UsageError otherwise).
    void setValue(Value v);
    void setInteger(std::int32_t v) { setValue(Value(std::int64_t{v})); }
    void setString(std::string v) { setValue(Value(std::move(v))); }
    void setFlag(bool v) { setValue(Value(v ? "T" : "F")); }
    void setNull() { setValue(Value()); }

private:
    Query* query_;
    int index_;
};

// A row of the buffer, as a filter sees it.
class RowView {
public:
    RowView(const Query& query, std::size_t row) : query_(query), row_(row) {}
    // UsageError for a column the query lacks.
    const Value& operator[](std::string_view column) const;

private:
    const Query& query_;
    std::size_t row_;
};

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
    bool hasField(std::string_view name) const;
    int fieldIndex(std::string_view name) const;   // -1 when absent
    // UsageError "Field 'X' not found" for a column the query lacks.
    Field fieldByName(std::string_view name);
    const Value& value(std::size_t row, int column) const;

    void edit();
    void append();
    // Runs the update object's modify or insert statement in the query's
    // transaction (starting it when needed). On error the post-error handler
    // decides; the row stays in edit or insert state when the error is raised.
    void post();
    void cancel();
    // Deletes the current row through the update object's delete statement.
    void remove();

    // Events for the host's handlers.
    std::function<void(Query&)> beforePost;
    std::function<void(Query&)> onNewRecord;
    std::function<void(Query&, const DbError&, PostErrorAction&)> onPostError;

    // Used by Field.
    const Value& currentValue(int column) const;
    void setCurrentValue(int column, Value v);
    const std::string& fieldName(int column) const;

    // How many statements this query has prepared (its select, its update
    // statements, its generator): a repeated text must not add to it.
    int prepareCount() const;

private:
    // The row passes the filter, or no filter is on.
    bool visible(std::size_t row) const { return !filtered_ || !filter_ || filter_(RowView(*this, row)); }

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

// A plain statement without a result set (an update, insert or delete),
// with positional "?" parameters.
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
