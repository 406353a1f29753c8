#include "db/fb_support.h"

#include <ibase.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace db::fb {

using namespace Firebird;

IMaster* master()
{
    static IMaster* const m = fb_get_master_interface();
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

DbError toDbError(const IStatus* st)
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
            p += 3;
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
    return DbError(std::move(text), std::move(codes), std::move(sqlState));
}

} // namespace db::fb
