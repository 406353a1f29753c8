#include "db/statement.h"

#include "db/binding.h"
#include "db/call_scope.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/prepared_sql.h"
#include "db/transaction.h"
#include "core/text_trim.h"
#include "db/update_sql.h"

namespace db {

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
    Connection& c = detail::connectedOf(connection_);
    Transaction& transaction = detail::transactionOf(transaction_, c);
    std::string text = joinLines(sql_);
    if (trimmedView(text).empty())
        throw UsageError("Statement has no text");
    std::vector<const Value*> p;
    p.reserve(params.size());
    for (const Value& v : params)
        p.push_back(&v);
    detail::onAttachment(c, [&] {
        Firebird::ITransaction* tra = transaction.ensureStarted();
        if (!impl_->sql.preparedFor(c, text)) {
            impl_->sql.prepare(c, tra, text);
            ++impl_->prepareCount;
        }
        impl_->sql.execute(tra, p.data(), p.size());
    });
}

} // namespace db
