#include "db/transaction.h"

#include "db/call_scope.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/fb_support.h"

#include <ibase.h>

#include <cctype>
#include <charconv>

namespace db {

using namespace Firebird;

namespace {

struct Word {
    const char* name;
    unsigned char tag;
};

constexpr Word tpbWords[] = {
    {"concurrency", isc_tpb_concurrency},     {"consistency", isc_tpb_consistency},
    {"read_committed", isc_tpb_read_committed}, {"rec_version", isc_tpb_rec_version},
    {"no_rec_version", isc_tpb_no_rec_version}, {"wait", isc_tpb_wait},
    {"nowait", isc_tpb_nowait},               {"read", isc_tpb_read},
    {"write", isc_tpb_write},
};

std::string trimmedLower(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

struct Transaction::Impl {
    fb::Ref<ITransaction> handle;
};

Transaction::Transaction(Connection* connection) : impl_(std::make_unique<Impl>())
{
    setConnection(connection);
}

Transaction::~Transaction()
{
    if (impl_->handle) {
        try {
            detail::onAttachment(*connection_,
                         [&] { fb::call([&](ThrowStatusWrapper* st) { impl_->handle->rollback(st); }); });
            impl_->handle.drop();
        } catch (...) {
            impl_->handle.reset();
        }
    }
    if (connection_)
        connection_->detach(this);
}

void Transaction::setConnection(Connection* connection)
{
    if (connection == connection_)
        return;
    if (inTransaction())
        throw UsageError("Cannot change the connection of an active transaction");
    if (connection_)
        connection_->detach(this);
    connection_ = connection;
    if (connection_)
        connection_->attach(this);
}

bool Transaction::inTransaction() const
{
    return static_cast<bool>(impl_->handle);
}

ITransaction* Transaction::handle() const
{
    return impl_->handle.get();
}

void Transaction::start()
{
    if (!connection_)
        throw UsageError("Transaction has no connection");
    if (!connection_->connected() && !connection_->lost())
        throw UsageError("Connection is not connected");
    if (inTransaction())
        throw UsageError("Transaction is already active");

    // Check every word before anything is sent.
    std::vector<Item> items;
    for (const std::string& raw : params_) {
        std::string word = trimmedLower(raw);
        if (word.empty())
            continue;
        if (word.rfind("lock_timeout=", 0) == 0) {
            std::string number = word.substr(13);
            int seconds = 0;
            auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), seconds);
            if (ec != std::errc() || p != number.data() + number.size() || seconds < 0)
                throw UsageError("Transaction parameter '" + raw + "' needs a number of seconds");
            items.push_back({isc_tpb_lock_timeout, seconds, true});
            continue;
        }
        bool known = false;
        for (const Word& w : tpbWords)
            if (word == w.name) {
                items.push_back({w.tag, 0, false});
                known = true;
                break;
            }
        if (!known)
            throw UsageError("Unknown transaction parameter '" + raw + "'");
    }

    // New work: a connection found lost attaches again first, and one that
    // turns out lost only now (the server went away while it was idle) gets
    // one more attach. Nothing of an earlier transaction is ever replayed.
    for (int attempt = 0;; ++attempt) {
        if (connection_->lost())
            connection_->reattach();
        try {
            detail::onAttachment(*connection_, [&] { begin(items); });
            return;
        } catch (const ConnectionLostError&) {
            if (attempt > 0)
                throw;
        }
    }
}

void Transaction::begin(const std::vector<Item>& items)
{
    IAttachment* att = connection_->attachment();
    fb::call([&](ThrowStatusWrapper* st) {
        if (items.empty()) {
            impl_->handle.reset(att->startTransaction(st, 0, nullptr));
            return;
        }
        fb::Disposable<IXpbBuilder> tpb(fb::util()->getXpbBuilder(st, IXpbBuilder::TPB, nullptr, 0));
        for (const Item& item : items) {
            if (item.hasValue)
                tpb->insertInt(st, item.tag, item.value);
            else
                tpb->insertTag(st, item.tag);
        }
        impl_->handle.reset(att->startTransaction(st, tpb->getBufferLength(st), tpb->getBuffer(st)));
    });
}

ITransaction* Transaction::ensureStarted()
{
    if (!inTransaction())
        start();
    return impl_->handle.get();
}

void Transaction::commit()
{
    if (!inTransaction())
        throw UsageError("Transaction is not active");
    detail::onAttachment(*connection_,
                         [&] { fb::call([&](ThrowStatusWrapper* st) { impl_->handle->commit(st); }); });
    impl_->handle.drop();
}

void Transaction::commitRetaining()
{
    if (!inTransaction())
        throw UsageError("Transaction is not active");
    detail::onAttachment(*connection_,
                         [&] { fb::call([&](ThrowStatusWrapper* st) { impl_->handle->commitRetaining(st); }); });
}

void Transaction::rollback()
{
    if (!inTransaction())
        throw UsageError("Transaction is not active");
    detail::onAttachment(*connection_,
                         [&] { fb::call([&](ThrowStatusWrapper* st) { impl_->handle->rollback(st); }); });
    impl_->handle.drop();
}

void Transaction::rollbackRetaining()
{
    if (!inTransaction())
        throw UsageError("Transaction is not active");
    detail::onAttachment(*connection_,
                         [&] { fb::call([&](ThrowStatusWrapper* st) { impl_->handle->rollbackRetaining(st); }); });
}

void Transaction::abandon() noexcept
{
    impl_->handle.reset();
}

} // namespace db
