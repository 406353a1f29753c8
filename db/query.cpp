#include "db/query.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/fb_support.h"
#include "db/prepared_sql.h"
#include "db/transaction.h"
#include "db/update_sql.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <unordered_map>

namespace db {

using namespace Firebird;

namespace {

const Value nullValue;

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int columnOf(const Query& q, std::string_view name)
{
    int index = q.fieldIndex(name);
    if (index < 0)
        throw UsageError("Field '" + std::string(name) + "' not found");
    return index;
}

constexpr std::size_t noRow = std::numeric_limits<std::size_t>::max();

// An update statement of the query: its text with named parameters, and
// which column (current or old value) each parameter takes.
struct UpdateStatement {
    detail::NamedParams parsed;
    detail::PreparedSql sql;
    struct Source {
        int column;
        bool old;
    };
    std::vector<Source> sources;
    std::uint64_t resolvedFor = 0; // fields version the sources were resolved for
};

} // namespace

// ---------------------------------------------------------------------------

const std::string& Field::name() const
{
    return query_->fieldName(index_);
}

const Value& Field::value() const
{
    return query_->currentValue(index_);
}

std::int32_t Field::asInteger() const
{
    std::int64_t v = value().toInteger();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw UsageError("'" + value().toText() + "' is not a valid integer value");
    return static_cast<std::int32_t>(v);
}

void Field::setValue(Value v)
{
    query_->setCurrentValue(index_, std::move(v));
}

const Value& RowView::operator[](std::string_view column) const
{
    return query_.value(row_, columnOf(query_, column));
}

// ---------------------------------------------------------------------------

struct Query::Impl {
    detail::PreparedSql select;
    std::vector<std::string> names;
    // Each column name as the statement gives it, to the column that
    // fieldIndex finds for it: most lookups spell the name just so.
    std::unordered_map<std::string_view, int> exactNames;
    std::uint64_t fieldsVersion = 0;

    std::vector<Value> rows; // row-major, names.size() values per row
    std::size_t rowCount = 0;
    std::size_t cur = noRow;
    bool eof = true;
    bool bof = true;

    std::vector<Value> pending; // the row being edited or inserted
    std::vector<Value> old;     // its values before the edit

    std::unordered_map<std::string, std::unique_ptr<UpdateStatement>> updates;
    std::string generatorField;
    std::string generator;
    detail::PreparedSql generatorSql;

    int prepareCount = 0;

    std::size_t width() const { return names.size(); }
    void setNames(std::vector<std::string> fresh);
    const Value* row(std::size_t r) const { return rows.data() + r * width(); }
};

void Query::Impl::setNames(std::vector<std::string> fresh)
{
    names = std::move(fresh);
    ++fieldsVersion;
    exactNames.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::size_t first = 0;
        while (!sameName(names[first], names[i]))
            ++first;
        exactNames.emplace(names[i], static_cast<int>(first));
    }
}

Query::Query(Connection* connection, Transaction* transaction)
    : impl_(std::make_unique<Impl>()), transaction_(transaction)
{
    setConnection(connection);
}

Query::~Query()
{
    // Prepared statements are released with impl_; the transaction is not
    // touched. The connection (if any) still exists: it clears this pointer
    // when it goes first.
    if (connection_)
        connection_->detach(this);
}

void Query::setConnection(Connection* c)
{
    if (c == connection_)
        return;
    close();
    if (connection_)
        connection_->detach(this);
    connection_ = c;
    if (connection_)
        connection_->attach(this);
}

void Query::setGeneratorField(std::string column, std::string generator)
{
    impl_->generatorField = std::move(column);
    impl_->generator = std::move(generator);
    impl_->generatorSql.reset();
}

std::string Query::sqlText() const
{
    return joinLines(sql_);
}

int Query::prepareCount() const
{
    return impl_->prepareCount;
}

namespace {

Connection& connectedOf(Connection* c)
{
    if (!c)
        throw UsageError("Query has no connection");
    if (!c->connected())
        throw UsageError("Connection is not connected");
    return *c;
}

// The query's own transaction, else its connection's default one.
Transaction& transactionOf(Transaction* t, Connection& c)
{
    Transaction* tra = t ? t : c.defaultTransaction();
    if (!tra)
        throw UsageError("Query has no transaction");
    return *tra;
}

} // namespace

void Query::open()
{
    if (active())
        return;
    Connection& c = connectedOf(connection_);
    ITransaction* tra = transactionOf(transaction_, c).ensureStarted();
    std::string text = sqlText();
    if (trimmed(text).empty())
        throw UsageError("Query has no statement");
    Impl& d = *impl_;
    if (!d.select.preparedFor(c, text)) {
        d.select.prepare(c, tra, text);
        ++d.prepareCount;
        if (d.select.hasOutput() && d.names != d.select.output().names())
            d.setNames(d.select.output().names());
    }
    if (!d.select.hasOutput())
        throw UsageError("The statement of a query must return rows");
    d.rows.clear();
    d.rowCount = 0;
    try {
        std::vector<const Value*> params;
        for (const Value& v : params_)
            params.push_back(&v);
        fb::Ref<IResultSet> rs = d.select.openCursor(tra, params.data(), params.size());
        detail::RowReader& reader = d.select.output();
        IAttachment* att = c.attachment();
        fb::call([&](ThrowStatusWrapper* st) {
            while (rs->fetchNext(st, reader.buffer()) == IStatus::RESULT_OK) {
                reader.read(att, tra, d.rows);
                ++d.rowCount;
            }
            rs->close(st);
            rs.drop();
        });
    } catch (...) {
        d.rows.clear();
        d.rowCount = 0;
        throw;
    }
    state_ = DataSetState::Browse;
    first();
}

void Query::close() noexcept
{
    Impl& d = *impl_;
    state_ = DataSetState::Inactive;
    d.rows.clear();
    d.rowCount = 0;
    d.pending.clear();
    d.old.clear();
    d.cur = noRow;
    d.eof = d.bof = true;
}

void Query::refresh()
{
    if (!active())
        throw UsageError("Query is closed");
    if (state_ != DataSetState::Browse)
        post();
    Impl& d = *impl_;
    std::size_t cur = d.cur;
    bool eof = d.eof;
    bool bof = d.bof;
    bool hadRow = d.rowCount > 0;
    close();
    open();
    if (d.rowCount == 0 || !hadRow)
        return; // open() left the cursor on the first row
    d.cur = std::min(cur, d.rowCount - 1);
    d.eof = eof;
    d.bof = bof;
    if (filtered_ && filter_ && !filter_(RowView(*this, d.cur)))
        first();
}

// ---------------------------------------------------------------------------
// Cursor

namespace {

void requireActive(const Query& q)
{
    if (!q.active())
        throw UsageError("Query is closed");
}

// A move or an append needs an open query and posts a pending edit first.
void postPending(Query& q)
{
    requireActive(q);
    if (q.state() != DataSetState::Browse)
        q.post();
}

} // namespace

void Query::first()
{
    postPending(*this);
    Impl& d = *impl_;
    d.cur = noRow;
    for (std::size_t r = 0; r < d.rowCount; ++r)
        if (visible(r)) {
            d.cur = r;
            break;
        }
    d.bof = true;
    d.eof = d.cur == noRow;
}

void Query::last()
{
    postPending(*this);
    Impl& d = *impl_;
    d.cur = noRow;
    for (std::size_t r = d.rowCount; r-- > 0;)
        if (visible(r)) {
            d.cur = r;
            break;
        }
    d.eof = true;
    d.bof = d.cur == noRow;
}

void Query::next()
{
    postPending(*this);
    Impl& d = *impl_;
    if (d.eof)
        return;
    for (std::size_t r = d.cur + 1; d.cur != noRow && r < d.rowCount; ++r)
        if (visible(r)) {
            d.cur = r;
            d.bof = false;
            return;
        }
    d.bof = d.bof && d.cur == noRow;
    d.eof = true;
}

void Query::prior()
{
    postPending(*this);
    Impl& d = *impl_;
    if (d.bof)
        return;
    for (std::size_t r = d.cur; d.cur != noRow && r-- > 0;)
        if (visible(r)) {
            d.cur = r;
            d.eof = false;
            return;
        }
    d.eof = d.eof && d.cur == noRow;
    d.bof = true;
}

bool Query::eof() const
{
    return !active() || impl_->eof;
}

bool Query::bof() const
{
    return !active() || impl_->bof;
}

bool Query::isEmpty() const
{
    if (!active())
        return true;
    const Impl& d = *impl_;
    if (!filtered_ || !filter_)
        return d.rowCount == 0;
    for (std::size_t r = 0; r < d.rowCount; ++r)
        if (filter_(RowView(*this, r)))
            return false;
    return true;
}

int Query::recordCount() const
{
    if (!active())
        return 0;
    const Impl& d = *impl_;
    if (!filtered_ || !filter_)
        return static_cast<int>(d.rowCount);
    int n = 0;
    for (std::size_t r = 0; r < d.rowCount; ++r)
        if (filter_(RowView(*this, r)))
            ++n;
    return n;
}

bool Query::locate(std::string_view keyFields, const std::vector<Value>& values)
{
    postPending(*this);
    std::vector<int> columns;
    while (true) {
        std::size_t semi = keyFields.find(';');
        std::string_view name = trimmed(keyFields.substr(0, semi));
        if (!name.empty() || semi != std::string_view::npos)
            columns.push_back(columnOf(*this, name));
        if (semi == std::string_view::npos)
            break;
        keyFields.remove_prefix(semi + 1);
    }
    if (columns.size() != values.size())
        throw UsageError("Locate needs one value per key field: " + std::to_string(columns.size()) +
                         " fields, " + std::to_string(values.size()) + " values");
    Impl& d = *impl_;
    for (std::size_t r = 0; r < d.rowCount; ++r) {
        const Value* row = d.row(r);
        bool match = true;
        for (std::size_t k = 0; k < columns.size() && match; ++k)
            match = row[columns[k]].sameAs(values[k]);
        if (match && visible(r)) {
            d.cur = r;
            d.eof = d.bof = false;
            return true;
        }
    }
    return false;
}

void Query::setFiltered(bool on)
{
    if (on == filtered_)
        return;
    if (active() && state_ != DataSetState::Browse)
        post();
    filtered_ = on;
    if (active())
        first();
}

// ---------------------------------------------------------------------------
// Fields

int Query::fieldCount() const
{
    return static_cast<int>(impl_->names.size());
}

const std::vector<std::string>& Query::fieldNames() const
{
    return impl_->names;
}

bool Query::hasField(std::string_view name) const
{
    return fieldIndex(name) >= 0;
}

int Query::fieldIndex(std::string_view name) const
{
    if (auto exact = impl_->exactNames.find(name); exact != impl_->exactNames.end())
        return exact->second;
    const auto& names = impl_->names;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (sameName(names[i], name))
            return static_cast<int>(i);
    return -1;
}

Field Query::fieldByName(std::string_view name)
{
    return Field(*this, columnOf(*this, name));
}

const std::string& Query::fieldName(int column) const
{
    if (column < 0 || column >= fieldCount())
        throw UsageError("Field index " + std::to_string(column) + " out of range");
    return impl_->names[static_cast<std::size_t>(column)];
}

const Value& Query::value(std::size_t row, int column) const
{
    const Impl& d = *impl_;
    if (!active())
        throw UsageError("Query is closed");
    if (row >= d.rowCount || column < 0 || column >= fieldCount())
        throw UsageError("Row " + std::to_string(row) + ", column " + std::to_string(column) + " out of range");
    return d.row(row)[column];
}

const Value& Query::currentValue(int column) const
{
    const Impl& d = *impl_;
    if (!active())
        throw UsageError("Query is closed");
    if (column < 0 || column >= fieldCount())
        throw UsageError("Field index " + std::to_string(column) + " out of range");
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        return d.pending[static_cast<std::size_t>(column)];
    if (d.cur == noRow)
        return nullValue;
    return d.row(d.cur)[column];
}

void Query::setCurrentValue(int column, Value v)
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        throw UsageError(active() ? "Query is not in edit or insert state" : "Query is closed");
    if (column < 0 || column >= fieldCount())
        throw UsageError("Field index " + std::to_string(column) + " out of range");
    impl_->pending[static_cast<std::size_t>(column)] = std::move(v);
}

// ---------------------------------------------------------------------------
// Editing

void Query::edit()
{
    requireActive(*this);
    if (state_ != DataSetState::Browse)
        return;
    Impl& d = *impl_;
    if (d.cur == noRow)
        throw UsageError("Query has no current row to edit");
    d.pending.assign(d.row(d.cur), d.row(d.cur) + d.width());
    d.old = d.pending;
    state_ = DataSetState::Edit;
}

void Query::append()
{
    postPending(*this);
    Impl& d = *impl_;
    d.pending.assign(d.width(), Value());
    d.old.assign(d.width(), Value());
    state_ = DataSetState::Insert;
    try {
        if (!d.generatorField.empty() && !d.generator.empty()) {
            int column = columnOf(*this, d.generatorField);
            Connection& c = connectedOf(connection_);
            ITransaction* tra = transactionOf(transaction_, c).ensureStarted();
            std::string text = "select gen_id(" + d.generator + ", 1) from rdb$database";
            if (!d.generatorSql.preparedFor(c, text)) {
                d.generatorSql.prepare(c, tra, text);
                ++d.prepareCount;
            }
            fb::Ref<IResultSet> rs = d.generatorSql.openCursor(tra, nullptr, 0);
            std::vector<Value> got;
            detail::RowReader& reader = d.generatorSql.output();
            fb::call([&](ThrowStatusWrapper* st) {
                if (rs->fetchNext(st, reader.buffer()) == IStatus::RESULT_OK)
                    reader.read(c.attachment(), tra, got);
                rs->close(st);
                rs.drop();
            });
            if (!got.empty())
                d.pending[static_cast<std::size_t>(column)] = std::move(got.front());
        }
        if (onNewRecord)
            onNewRecord(*this);
    } catch (...) {
        cancel();
        throw;
    }
}

namespace {

// Runs one update statement of the query with the row's values.
void runUpdate(std::unordered_map<std::string, std::unique_ptr<UpdateStatement>>& cache, const std::string& text,
               const Query& q, std::uint64_t fieldsVersion, const std::vector<Value>& current,
               const std::vector<Value>& old, Connection& c, ITransaction* tra, int& prepareCount)
{
    auto& slot = cache[text];
    if (!slot) {
        slot = std::make_unique<UpdateStatement>();
        slot->parsed = detail::parseNamedParams(text);
    }
    UpdateStatement& u = *slot;
    if (!u.sql.preparedFor(c, u.parsed.sql)) {
        u.sql.prepare(c, tra, u.parsed.sql);
        ++prepareCount;
    }
    if (u.resolvedFor != fieldsVersion) {
        u.sources.clear();
        for (const std::string& name : u.parsed.names) {
            bool isOld = name.size() > 4 && sameName(std::string_view(name).substr(0, 4), "OLD_");
            int column = q.fieldIndex(isOld ? std::string_view(name).substr(4) : std::string_view(name));
            if (column < 0)
                throw UsageError("Parameter '" + name + "' matches no field of the query");
            u.sources.push_back({column, isOld});
        }
        u.resolvedFor = fieldsVersion;
    }
    std::vector<const Value*> params;
    params.reserve(u.sources.size());
    for (const auto& s : u.sources)
        params.push_back(&(s.old ? old : current)[static_cast<std::size_t>(s.column)]);
    u.sql.execute(tra, params.data(), params.size());
}

} // namespace

void Query::post()
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        throw UsageError(active() ? "Query is not in edit or insert state" : "Query is closed");
    if (!updateObject_)
        throw UsageError("Query has no update statements to post with");
    if (beforePost)
        beforePost(*this);
    const bool inserting = state_ == DataSetState::Insert;
    const std::vector<std::string>& lines = inserting ? updateObject_->InsertSQL : updateObject_->ModifySQL;
    if (lines.empty())
        throw UsageError(inserting ? "Query has no insert statement" : "Query has no modify statement");
    std::string text = joinLines(lines);
    Impl& d = *impl_;
    for (;;) {
        try {
            Connection& c = connectedOf(connection_);
            ITransaction* tra = transactionOf(transaction_, c).ensureStarted();
            runUpdate(d.updates, text, *this, d.fieldsVersion, d.pending, d.old, c, tra, d.prepareCount);
            break;
        } catch (const DbError& e) {
            PostErrorAction action = PostErrorAction::Fail;
            if (onPostError)
                onPostError(*this, e, action);
            if (action == PostErrorAction::Retry)
                continue;
            if (action == PostErrorAction::Abort) {
                cancel();
                return;
            }
            throw;
        }
    }
    if (inserting) {
        d.rows.insert(d.rows.end(), std::make_move_iterator(d.pending.begin()),
                      std::make_move_iterator(d.pending.end()));
        d.cur = d.rowCount++;
    } else {
        std::move(d.pending.begin(), d.pending.end(), d.rows.begin() + static_cast<std::ptrdiff_t>(d.cur * d.width()));
    }
    d.pending.clear();
    d.old.clear();
    d.eof = d.bof = false;
    state_ = DataSetState::Browse;
}

void Query::cancel()
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        return;
    impl_->pending.clear();
    impl_->old.clear();
    state_ = DataSetState::Browse;
}

void Query::remove()
{
    requireActive(*this);
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    cancel();
    Impl& d = *impl_;
    if (d.cur == noRow)
        throw UsageError("Query has no current row to delete");
    if (!updateObject_ || updateObject_->DeleteSQL.empty())
        throw UsageError("Query has no delete statement");
    Connection& c = connectedOf(connection_);
    ITransaction* tra = transactionOf(transaction_, c).ensureStarted();
    std::vector<Value> row(d.row(d.cur), d.row(d.cur) + d.width());
    runUpdate(d.updates, joinLines(updateObject_->DeleteSQL), *this, d.fieldsVersion, row, row, c, tra,
              d.prepareCount);
    auto at = d.rows.begin() + static_cast<std::ptrdiff_t>(d.cur * d.width());
    d.rows.erase(at, at + static_cast<std::ptrdiff_t>(d.width()));
    --d.rowCount;
    // Stay at the same place: the row that followed, or the new last one.
    std::size_t target = d.cur;
    for (std::size_t r = target; r < d.rowCount; ++r)
        if (visible(r)) {
            d.cur = r;
            d.eof = d.bof = false;
            return;
        }
    last();
    d.eof = d.cur == noRow;
}

// ---------------------------------------------------------------------------

struct Statement::Impl {
    detail::PreparedSql sql;
    int prepareCount = 0;
};

Statement::Statement(Connection* connection, Transaction* transaction)
    : impl_(std::make_unique<Impl>()), connection_(connection), transaction_(transaction)
{
}

Statement::~Statement() = default;

int Statement::prepareCount() const
{
    return impl_->prepareCount;
}

void Statement::execute(const std::vector<Value>& params)
{
    Connection& c = connectedOf(connection_);
    ITransaction* tra = transactionOf(transaction_, c).ensureStarted();
    std::string text = joinLines(sql_);
    if (trimmed(text).empty())
        throw UsageError("Statement has no text");
    if (!impl_->sql.preparedFor(c, text)) {
        impl_->sql.prepare(c, tra, text);
        ++impl_->prepareCount;
    }
    std::vector<const Value*> p;
    p.reserve(params.size());
    for (const Value& v : params)
        p.push_back(&v);
    impl_->sql.execute(tra, p.data(), p.size());
}

} // namespace db
