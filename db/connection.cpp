#include "db/connection.h"

#include "core/text_trim.h"
#include "db/call_scope.h"
#include "db/fb_support.h"
#include "db/query.h"
#include "db/statement_cache.h"
#include "db/transaction.h"
#include "db/watchdog.h"

#include <ibase.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <cctype>

namespace db {

using namespace Firebird;

namespace {

std::uint64_t nextSerial()
{
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The parameter lines as tags of a database parameter block.
void addParams(ThrowStatusWrapper* st, IXpbBuilder* dpb, const std::vector<std::string>& params)
{
    for (const std::string& line : params) {
        if (trimmedView(line).empty())
            continue;
        std::size_t eq = line.find('=');
        std::string name = lower(trimmed(line.substr(0, eq)));
        std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        unsigned char tag = 0;
        if (name == "user_name" || name == "user")
            tag = isc_dpb_user_name;
        else if (name == "password")
            tag = isc_dpb_password;
        else if (name == "lc_ctype")
            tag = isc_dpb_lc_ctype;
        else if (name == "sql_role_name")
            tag = isc_dpb_sql_role_name;
        else
            throw UsageError("Unknown connection parameter '" + trimmed(line.substr(0, eq)) + "'");
        if (eq == std::string::npos)
            throw UsageError("Connection parameter '" + name + "' has no value");
        dpb->insertString(st, tag, value.c_str());
    }
}

std::string sqlText(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

// Sets the USER_SESSION variables in a transaction of their own; the
// attachment is detached again when that fails.
void setSessionContextOn(fb::Ref<IAttachment>& attachment,
                         const std::vector<std::pair<std::string, std::string>>& values, unsigned dialect)
{
    std::string sql = "EXECUTE BLOCK AS DECLARE R INTEGER; BEGIN";
    for (const auto& [name, value] : values)
        sql += " R = RDB$SET_CONTEXT('USER_SESSION', " + sqlText(name) + ", " + sqlText(value) + ");";
    sql += " END";
    try {
        fb::call([&](ThrowStatusWrapper* st) {
            fb::Ref<ITransaction> transaction(attachment->startTransaction(st, 0, nullptr));
            attachment->execute(st, transaction.get(), static_cast<unsigned>(sql.size()), sql.c_str(), dialect,
                                nullptr, nullptr, nullptr, nullptr);
            transaction->commit(st);
            transaction.drop();
        });
    } catch (...) {
        try {
            fb::call([&](ThrowStatusWrapper* st) { attachment->detach(st); });
            attachment.drop();
        } catch (...) {
        }
        throw;
    }
}

} // namespace

struct Connection::Impl {
    fb::Ref<IAttachment> attachment;
    std::uint64_t serial = 0;
    std::vector<Query*> queries;
    // Dropped with the attachment whose statements they are.
    detail::StatementCache statements;
    bool lost = false;
    // Started with the first operation timeout; cancels the attachment's
    // call that runs past its time.
    std::unique_ptr<detail::Watchdog> watchdog;
    // The attachment the watchdog may cancel; the mutex keeps it alive
    // while the watchdog uses it.
    std::mutex callingMutex;
    IAttachment* calling = nullptr;

    void setCalling(IAttachment* att)
    {
        std::lock_guard lock(callingMutex);
        calling = att;
    }
    // Forgets the attachment without detaching it.
    void releaseAttachment() noexcept
    {
        statements.clear();
        std::lock_guard lock(callingMutex);
        calling = nullptr;
        attachment.reset();
    }
};

Connection::Connection() : impl_(std::make_unique<Impl>()) {}

Connection::~Connection()
{
    disconnect();
    // Whoever still points at this connection forgets it.
    for (Query* q : std::vector<Query*>(impl_->queries))
        q->setConnection(nullptr);
    for (Transaction* t : std::vector<Transaction*>(transactions_))
        t->setConnection(nullptr);
    impl_->watchdog.reset();
}

bool Connection::connected() const
{
    return static_cast<bool>(impl_->attachment);
}

bool Connection::lost() const
{
    return impl_->lost;
}

detail::StatementCache& Connection::statements()
{
    return impl_->statements;
}

IAttachment* Connection::attachment() const
{
    return impl_->attachment.get();
}

std::uint64_t Connection::attachmentSerial() const
{
    return impl_->attachment ? impl_->serial : 0;
}

void Connection::setOperationTimeout(std::chrono::seconds timeout)
{
    if (!impl_->watchdog) {
        if (timeout.count() <= 0)
            return;
        impl_->watchdog = std::make_unique<detail::Watchdog>([this](int option) {
            std::lock_guard lock(impl_->callingMutex);
            if (IAttachment* att = impl_->calling)
                fb::call([&](ThrowStatusWrapper* st) { att->cancelOperation(st, option); });
        });
    }
    impl_->watchdog->setTimeout(timeout);
}

std::chrono::seconds Connection::operationTimeout() const
{
    if (!impl_->watchdog)
        return std::chrono::seconds(0);
    return std::chrono::duration_cast<std::chrono::seconds>(impl_->watchdog->timeout());
}

void Connection::attachDatabase(bool create, unsigned pageSize)
{
    if (databaseName_.empty())
        throw UsageError("Connection has no database name");
    fb::Ref<IAttachment> fresh;
    fb::call([&](ThrowStatusWrapper* st) {
        fb::Disposable<IXpbBuilder> dpb(fb::util()->getXpbBuilder(st, IXpbBuilder::DPB, nullptr, 0));
        addParams(st, dpb.get(), params_);
        if (connectTimeout_.count() > 0)
            dpb->insertInt(st, isc_dpb_connect_timeout, static_cast<int>(connectTimeout_.count()));
        fb::Ref<IProvider> provider(fb::master()->getDispatcher());
        if (create) {
            dpb->insertInt(st, isc_dpb_sql_dialect, static_cast<int>(dialect_));
            dpb->insertString(st, isc_dpb_set_db_charset, "ISO8859_1");
            if (pageSize)
                dpb->insertInt(st, isc_dpb_page_size, static_cast<int>(pageSize));
            fresh.reset(provider->createDatabase(st, databaseName_.c_str(), dpb->getBufferLength(st),
                                                 dpb->getBuffer(st)));
        } else {
            fresh.reset(provider->attachDatabase(st, databaseName_.c_str(), dpb->getBufferLength(st),
                                                 dpb->getBuffer(st)));
        }
    });
    if (!sessionContext_.empty())
        setSessionContextOn(fresh, sessionContext_, dialect_);
    impl_->releaseAttachment();
    impl_->attachment = std::move(fresh);
    impl_->setCalling(impl_->attachment.get());
    impl_->serial = nextSerial();
    impl_->lost = false;
}

void Connection::connect()
{
    if (connected() && !lost())
        return;
    if (lost()) {
        reattach();
        return;
    }
    attachDatabase(false, 0);
}

void Connection::createDatabase(unsigned pageSize)
{
    if (connected())
        throw UsageError("Connection is already connected");
    attachDatabase(true, pageSize);
}

void Connection::markLost() noexcept
{
    impl_->lost = true;
    for (Transaction* t : std::vector<Transaction*>(transactions_))
        t->abandon();
}

void Connection::reattach()
{
    markLost();
    for (Query* q : std::vector<Query*>(impl_->queries))
        q->dropStatements();
    // The dead attachment is released, never detached: the server has
    // already let it go, and the work of its transactions with it.
    impl_->releaseAttachment();
    impl_->serial = 0;
    attachDatabase(false, 0);
}

void Connection::disconnect() noexcept
{
    for (Query* q : std::vector<Query*>(impl_->queries))
        q->close();
    for (Transaction* t : std::vector<Transaction*>(transactions_)) {
        if (t->inTransaction()) {
            try {
                t->rollback();
            } catch (...) {
            }
        }
        t->abandon();
    }
    impl_->lost = false;
    if (!impl_->attachment)
        return;
    impl_->setCalling(nullptr);
    impl_->statements.clear();
    try {
        fb::call([&](ThrowStatusWrapper* st) { impl_->attachment->detach(st); });
        impl_->attachment.drop();
    } catch (...) {
        impl_->releaseAttachment();
    }
    impl_->serial = 0;
}

void Connection::dropDatabase()
{
    if (!connected())
        throw UsageError("Connection is not connected");
    for (Query* q : std::vector<Query*>(impl_->queries))
        q->close();
    for (Transaction* t : std::vector<Transaction*>(transactions_)) {
        if (t->inTransaction())
            t->rollback();
        t->abandon();
    }
    impl_->setCalling(nullptr);
    impl_->statements.clear();
    fb::call([&](ThrowStatusWrapper* st) { impl_->attachment->dropDatabase(st); });
    impl_->attachment.drop();
    impl_->serial = 0;
}

void Connection::executeImmediate(const std::string& sql, Transaction& transaction)
{
    if (!connected() && !lost())
        throw UsageError("Connection is not connected");
    if (transaction.connection() != this)
        throw UsageError("The transaction belongs to another connection");
    ITransaction* tra = transaction.ensureStarted();
    detail::onAttachment(*this, [&] {
        fb::call([&](ThrowStatusWrapper* st) {
            impl_->attachment->execute(st, tra, static_cast<unsigned>(sql.size()), sql.c_str(), dialect_, nullptr,
                                       nullptr, nullptr, nullptr);
        });
    });
}

void Connection::attach(Transaction* t)
{
    if (std::find(transactions_.begin(), transactions_.end(), t) == transactions_.end())
        transactions_.push_back(t);
}

void Connection::detach(Transaction* t) noexcept
{
    std::erase(transactions_, t);
    if (defaultTransaction_ == t)
        defaultTransaction_ = nullptr;
}

void Connection::attach(Query* q)
{
    if (std::find(impl_->queries.begin(), impl_->queries.end(), q) == impl_->queries.end())
        impl_->queries.push_back(q);
}

void Connection::detach(Query* q) noexcept
{
    std::erase(impl_->queries, q);
}

namespace detail {

CallScope::CallScope(Connection& c) : connection_(c)
{
    if (c.impl_->watchdog)
        c.impl_->watchdog->begin();
}

CallScope::~CallScope()
{
    if (connection_.impl_->watchdog)
        connection_.impl_->watchdog->end();
}

void CallScope::lost() noexcept
{
    connection_.markLost();
}

} // namespace detail

} // namespace db
