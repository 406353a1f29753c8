#include "db/fb_support.h"

#include "db/embedded_engine.h"

#include <ibase.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace db::fb {

using namespace Firebird;

IMaster* master()
{
    // The engine reads its root from the environment when the library
    // starts, so the shared root is set up before the first call.
    static IMaster* const m = (prepareSharedEngine(), fb_get_master_interface());
    return m;
}

IUtil* util()
{
    static IUtil* const u = master()->getUtilInterface();
    return u;
}

namespace {
struct StatusHolder {
    IStatus* raw = master()->getStatus();
    ThrowStatusWrapper wrapper{raw};
    ~StatusHolder() { raw->dispose(); }
};
} // namespace

ThrowStatusWrapper* status()
{
    thread_local StatusHolder holder;
    holder.wrapper.init();
    return &holder.wrapper;
}

namespace {

template <class Codes>
bool anyOf(const std::vector<std::intptr_t>& codes, const Codes& wanted)
{
    return std::any_of(codes.begin(), codes.end(),
                       [&](std::intptr_t c) { return std::find(std::begin(wanted), std::end(wanted), c) != std::end(wanted); });
}

// The client's codes for an attachment that is gone.
constexpr std::intptr_t connectionLostCodes[] = {
    isc_network_error, isc_net_read_err, isc_net_write_err, isc_lost_db_connection, isc_conn_lost,
    isc_shutdown,      isc_att_shutdown,
};
constexpr std::intptr_t lockConflictCodes[] = {isc_deadlock, isc_lock_conflict, isc_update_conflict, isc_lock_timeout};
constexpr std::intptr_t duplicateKeyCodes[] = {isc_unique_key_violation, isc_no_dup};

} // namespace

void raise(const IStatus* st)
{
    // formatStatus wants a non-const status; it only reads it.
    IStatus* s = const_cast<IStatus*>(st);
    std::string text(512, '\0');
    for (;;) {
        unsigned n = util()->formatStatus(text.data(), static_cast<unsigned>(text.size()), s);
        if (n + 1 < text.size() || text.size() >= (1u << 20)) {
            text.resize(std::min<std::size_t>(n, text.size()));
            break;
        }
        text.resize(text.size() * 2);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
        text.pop_back();

    std::vector<std::intptr_t> codes;
    std::vector<std::string> strings;   // the status' text arguments, in order
    std::string sqlState;
    const std::intptr_t* v = s->getErrors();
    for (const std::intptr_t* p = v; p && *p != isc_arg_end;) {
        switch (*p) {
        case isc_arg_gds:
            codes.push_back(p[1]);
            p += 2;
            break;
        case isc_arg_sql_state:
            sqlState = reinterpret_cast<const char*>(p[1]);
            p += 2;
            break;
        case isc_arg_cstring:
            strings.emplace_back(reinterpret_cast<const char*>(p[2]), static_cast<std::size_t>(p[1]));
            p += 3;
            break;
        case isc_arg_string:
        case isc_arg_interpreted:
            strings.emplace_back(reinterpret_cast<const char*>(p[1]));
            p += 2;
            break;
        default:
            p += 2;
            break;
        }
    }
    if (sqlState.empty() && v) {
        char state[6] = {};
        fb_sqlstate(state, v);
        sqlState.assign(state, strnlen(state, 5));
    }
    if (anyOf(codes, connectionLostCodes))
        throw ConnectionLostError(std::move(text), std::move(codes), std::move(sqlState));
    if (anyOf(codes, lockConflictCodes))
        throw LockConflictError(std::move(text), std::move(codes), std::move(sqlState));
    if (anyOf(codes, duplicateKeyCodes))
        throw DuplicateKeyError(std::move(text), std::move(codes), std::move(sqlState));
    // An SQL exception: its name, then the text it was raised with.
    if (!codes.empty() && codes.front() == isc_except && strings.size() >= 2 && !strings[1].empty()) {
        std::string raised = strings[1];
        throw RaisedError(std::move(text), std::move(codes), std::move(sqlState), std::move(raised));
    }
    throw DbError(std::move(text), std::move(codes), std::move(sqlState));
}

} // namespace db::fb
