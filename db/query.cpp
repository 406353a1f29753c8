#include "db/query.h"

#include "db/binding.h"
#include "db/call_scope.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/fb_support.h"
#include "db/name_match.h"
#include "db/query_impl.h"
#include "db/statement_cache.h"
#include "db/transaction.h"
#include "db/update_sql.h"
#include "core/text_trim.h"

#include <algorithm>

namespace db {

using namespace Firebird;

namespace {

const Value nullValue;

} // namespace

void Query::Impl::setNames(std::vector<std::string> fresh)
{
    names = std::move(fresh);
    ++fieldsVersion;
    exactNames.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::size_t first = 0;
        while (!detail::sameName(names[first], names[i]))
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
    return impl_->prepareCount + impl_->updates.prepareCount();
}

Transaction* Query::effectiveTransaction() const
{
    if (transaction_)
        return transaction_;
    return connection_ ? connection_->defaultTransaction() : nullptr;
}

void Query::open()
{
    if (active())
        return;
    Connection& c = detail::connectedOf(connection_);
    Transaction& transaction = detail::transactionOf(transaction_, c);
    std::string text = sqlText();
    if (trimmedView(text).empty())
        throw UsageError("Query has no statement");
    Impl& d = *impl_;
    detail::onAttachment(c, [&] {
        ITransaction* tra = transaction.ensureStarted();
        if (!d.select || !d.select->preparedFor(c, text)) {
            bool prepared = false;
            d.select = c.statements().get(c, tra, text, &prepared);
            if (prepared)
                ++d.prepareCount;
            if (d.select->hasOutput() && d.names != d.select->output().names())
                d.setNames(d.select->output().names());
        }
        if (!d.select->hasOutput())
            throw UsageError("The statement of a query must return rows");
        d.rows.clear();
        try {
            std::vector<const Value*> params;
            for (const Value& v : params_)
                params.push_back(&v);
            fb::Ref<IResultSet> rs = d.select->openCursor(tra, params.data(), params.size());
            detail::RowReader& reader = d.select->output();
            IAttachment* att = c.attachment();
            fb::call([&](ThrowStatusWrapper* st) {
                while (rs->fetchNext(st, reader.buffer()) == IStatus::RESULT_OK)
                    reader.read(att, tra, d.rows);
                rs->close(st);
                rs.drop();
            });
        } catch (...) {
            d.rows.clear();
            throw;
        }
    });
    state_ = DataSetState::Browse;
    first();
}

void Query::dropStatements() noexcept
{
    impl_->select.reset();
    impl_->generatorSql.reset();
    impl_->updates.reset();
}

void Query::close() noexcept
{
    Impl& d = *impl_;
    state_ = DataSetState::Inactive;
    d.rows.clear();
    d.pending.clear();
    d.old.clear();
    d.cur = detail::noRow;
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
    bool hadRow = d.rowCount() > 0;
    close();
    open();
    if (d.rowCount() == 0 || !hadRow)
        return; // open() left the cursor on the first row
    d.cur = std::min(cur, d.rowCount() - 1);
    d.eof = eof;
    d.bof = bof;
    if (filtered_ && filter_ && !filter_(RowView(*this, d.cur)))
        first();
}

// ---------------------------------------------------------------------------
// Cursor

void Query::requireActive() const
{
    if (!active())
        throw UsageError("Query is closed");
}

void Query::postPending()
{
    requireActive();
    if (state_ != DataSetState::Browse)
        post();
}

int Query::columnOf(std::string_view name) const
{
    int index = fieldIndex(name);
    if (index < 0)
        throw UsageError("Field '" + std::string(name) + "' not found");
    return index;
}

void Query::first()
{
    postPending();
    Impl& d = *impl_;
    d.cur = detail::noRow;
    for (std::size_t r = 0; r < d.rowCount(); ++r)
        if (visible(r)) {
            d.cur = r;
            break;
        }
    d.bof = true;
    d.eof = d.cur == detail::noRow;
}

void Query::last()
{
    postPending();
    Impl& d = *impl_;
    d.cur = detail::noRow;
    for (std::size_t r = d.rowCount(); r-- > 0;)
        if (visible(r)) {
            d.cur = r;
            break;
        }
    d.eof = true;
    d.bof = d.cur == detail::noRow;
}

void Query::next()
{
    postPending();
    Impl& d = *impl_;
    if (d.eof)
        return;
    for (std::size_t r = d.cur + 1; d.cur != detail::noRow && r < d.rowCount(); ++r)
        if (visible(r)) {
            d.cur = r;
            d.bof = false;
            return;
        }
    d.bof = d.bof && d.cur == detail::noRow;
    d.eof = true;
}

void Query::prior()
{
    postPending();
    Impl& d = *impl_;
    if (d.bof)
        return;
    for (std::size_t r = d.cur; d.cur != detail::noRow && r-- > 0;)
        if (visible(r)) {
            d.cur = r;
            d.eof = false;
            return;
        }
    d.eof = d.eof && d.cur == detail::noRow;
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
        return d.rowCount() == 0;
    for (std::size_t r = 0; r < d.rowCount(); ++r)
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
        return static_cast<int>(d.rowCount());
    int n = 0;
    for (std::size_t r = 0; r < d.rowCount(); ++r)
        if (filter_(RowView(*this, r)))
            ++n;
    return n;
}

bool Query::locate(std::string_view keyFields, const std::vector<Value>& values)
{
    postPending();
    std::vector<int> columns;
    while (true) {
        std::size_t semi = keyFields.find(';');
        std::string_view name = trimmedView(keyFields.substr(0, semi));
        if (!name.empty() || semi != std::string_view::npos)
            columns.push_back(columnOf(name));
        if (semi == std::string_view::npos)
            break;
        keyFields.remove_prefix(semi + 1);
    }
    if (columns.size() != values.size())
        throw UsageError("Locate needs one value per key field: " + std::to_string(columns.size()) +
                         " fields, " + std::to_string(values.size()) + " values");
    Impl& d = *impl_;
    for (std::size_t r = 0; r < d.rowCount(); ++r) {
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

int Query::fieldIndex(std::string_view name) const
{
    if (auto exact = impl_->exactNames.find(name); exact != impl_->exactNames.end())
        return exact->second;
    const auto& names = impl_->names;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (detail::sameName(names[i], name))
            return static_cast<int>(i);
    return -1;
}

Field Query::fieldByName(std::string_view name)
{
    return Field(*this, columnOf(name));
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
    if (row >= d.rowCount() || column < 0 || column >= fieldCount())
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
    if (d.cur == detail::noRow)
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

} // namespace db
