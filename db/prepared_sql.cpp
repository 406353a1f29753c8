#include "db/prepared_sql.h"

#include "db/connection.h"
#include "db/error.h"

namespace db::detail {

using namespace Firebird;

bool PreparedSql::preparedFor(const Connection& c, const std::string& text) const
{
    return stmt_ && serial_ != 0 && serial_ == c.attachmentSerial() && text_ == text;
}

void PreparedSql::reset() noexcept
{
    stmt_.reset();
    text_.clear();
    serial_ = 0;
}

void PreparedSql::prepare(Connection& c, ITransaction* tra, const std::string& text)
{
    reset();
    IAttachment* att = c.attachment();
    if (!att)
        throw UsageError("Connection is not connected");
    fb::call([&](ThrowStatusWrapper* st) {
        fb::Ref<IStatement> stmt(att->prepare(st, tra, static_cast<unsigned>(text.size()), text.c_str(),
                                              c.sqlDialect(), IStatement::PREPARE_PREFETCH_METADATA));
        params_.init(stmt->getInputMetadata(st));
        output_.init(stmt->getOutputMetadata(st));
        stmt_ = std::move(stmt);
    });
    text_ = text;
    serial_ = c.attachmentSerial();
}

void PreparedSql::execute(ITransaction* tra, const Value* const* params, std::size_t n)
{
    params_.bind(params, n);
    fb::call([&](ThrowStatusWrapper* st) {
        stmt_->execute(st, tra, params_.metadata(), params_.count() ? params_.buffer() : nullptr,
                       output_.columnCount() ? output_.metadata() : nullptr,
                       output_.columnCount() ? output_.buffer() : nullptr);
    });
}

fb::Ref<IResultSet> PreparedSql::openCursor(ITransaction* tra, const Value* const* params, std::size_t n)
{
    params_.bind(params, n);
    return fb::call([&](ThrowStatusWrapper* st) {
        return fb::Ref<IResultSet>(stmt_->openCursor(st, tra, params_.metadata(),
                                                     params_.count() ? params_.buffer() : nullptr,
                                                     output_.metadata(), 0));
    });
}

} // namespace db::detail
