// The editing half of a query: edit, append, post, cancel and delete
// through its update statements.

#include "db/query.h"

#include "db/binding.h"
#include "db/call_scope.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/fb_support.h"
#include "db/query_impl.h"
#include "db/transaction.h"
#include "db/update_sql.h"
#include "db/write_block.h"

namespace db {

using namespace Firebird;

void Query::edit()
{
    requireActive();
    if (state_ != DataSetState::Browse)
        return;
    Impl& d = *impl_;
    if (d.cur == detail::noRow)
        throw UsageError("Query has no current row to edit");
    d.pending.assign(d.row(d.cur), d.row(d.cur) + d.width());
    d.old = d.pending;
    state_ = DataSetState::Edit;
}

void Query::append()
{
    postPending();
    Impl& d = *impl_;
    d.pending.assign(d.width(), Value());
    d.old.assign(d.width(), Value());
    state_ = DataSetState::Insert;
    try {
        if (!d.generatorField.empty() && !d.generator.empty()) {
            int column = columnOf(d.generatorField);
            Connection& c = detail::connectedOf(connection_);
            Transaction& transaction = detail::transactionOf(transaction_, c);
            std::vector<Value> got;
            detail::onAttachment(c, [&] {
                ITransaction* tra = transaction.ensureStarted();
                std::string text = "select gen_id(" + d.generator + ", 1) from rdb$database";
                if (!d.generatorSql.preparedFor(c, text)) {
                    d.generatorSql.prepare(c, tra, text);
                    ++d.prepareCount;
                }
                fb::Ref<IResultSet> rs = d.generatorSql.openCursor(tra, nullptr, 0);
                detail::RowReader& reader = d.generatorSql.output();
                fb::call([&](ThrowStatusWrapper* st) {
                    if (rs->fetchNext(st, reader.buffer()) == IStatus::RESULT_OK)
                        reader.read(c.attachment(), tra, got);
                    rs->close(st);
                    rs.drop();
                });
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

std::string Query::postStatement() const
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        throw UsageError(active() ? "Query is not in edit or insert state" : "Query is closed");
    if (!updateObject_)
        throw UsageError("Query has no update statements to post with");
    const bool inserting = state_ == DataSetState::Insert;
    const std::vector<std::string>& lines = inserting ? updateObject_->InsertSQL : updateObject_->ModifySQL;
    if (lines.empty())
        throw UsageError(inserting ? "Query has no insert statement" : "Query has no modify statement");
    return joinLines(lines);
}

void Query::post()
{
    postStatement();   // refuses a post without edit or statement before the handler runs
    if (beforePost)
        beforePost(*this);
    const bool inserting = state_ == DataSetState::Insert;
    const std::string text = postStatement();
    Impl& d = *impl_;
    for (;;) {
        try {
            Connection& c = detail::connectedOf(connection_);
            Transaction& transaction = detail::transactionOf(transaction_, c);
            detail::onAttachment(c, [&] {
                d.updates.run(text, *this, d.fieldsVersion, d.pending, d.old, c, transaction.ensureStarted());
            });
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
    keepPosted(inserting);
}

void Query::postTo(WriteBlock& block)
{
    postStatement();
    if (beforePost)
        beforePost(*this);
    const bool inserting = state_ == DataSetState::Insert;
    Impl& d = *impl_;
    detail::UpdateRunner::Bound bound = d.updates.bind(postStatement(), *this, d.fieldsVersion, d.pending, d.old);
    block.add(std::move(bound.sql), std::move(bound.values));
    keepPosted(inserting);
}

void Query::keepPosted(bool inserted)
{
    Impl& d = *impl_;
    if (inserted) {
        d.rows.insert(d.rows.end(), std::make_move_iterator(d.pending.begin()),
                      std::make_move_iterator(d.pending.end()));
        d.cur = d.rowCount() - 1;
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
    requireActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    cancel();
    Impl& d = *impl_;
    if (d.cur == detail::noRow)
        throw UsageError("Query has no current row to delete");
    if (!updateObject_ || updateObject_->DeleteSQL.empty())
        throw UsageError("Query has no delete statement");
    Connection& c = detail::connectedOf(connection_);
    Transaction& transaction = detail::transactionOf(transaction_, c);
    std::vector<Value> row(d.row(d.cur), d.row(d.cur) + d.width());
    detail::onAttachment(c, [&] {
        d.updates.run(joinLines(updateObject_->DeleteSQL), *this, d.fieldsVersion, row, row, c,
                      transaction.ensureStarted());
    });
    auto at = d.rows.begin() + static_cast<std::ptrdiff_t>(d.cur * d.width());
    d.rows.erase(at, at + static_cast<std::ptrdiff_t>(d.width()));
    // Stay at the same place: the row that followed, or the new last one.
    std::size_t target = d.cur;
    for (std::size_t r = target; r < d.rowCount(); ++r)
        if (visible(r)) {
            d.cur = r;
            d.eof = d.bof = false;
            return;
        }
    last();
    d.eof = d.cur == detail::noRow;
}

} // namespace db
