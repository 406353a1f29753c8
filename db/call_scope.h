#pragma once
// Inside the dataset layer only: one call on a connection's attachment. It
// runs under the connection's operation timeout, and a lost attachment it
// meets marks the connection lost.

#include "db/error.h"

#include <utility>

namespace db {
class Connection;
}

namespace db::detail {

class CallScope {
public:
    explicit CallScope(Connection& c);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    void lost() noexcept;

private:
    Connection& connection_;
};

template <class F>
decltype(auto) onAttachment(Connection& c, F&& f)
{
    CallScope scope(c);
    try {
        return std::forward<F>(f)();
    } catch (const ConnectionLostError&) {
        scope.lost();
        throw;
    }
}

} // namespace db::detail
