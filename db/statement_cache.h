#pragma once
// Inside the dataset layer only: the statements prepared on one attachment,
// by their text, so that a text met again is not prepared again whoever
// runs it. Forgotten when the attachment goes; a statement still held by
// its user stays valid for it until then.

#include "db/prepared_sql.h"

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

namespace db {
class Connection;
}

namespace db::detail {

class StatementCache {
public:
    // The statement of the text on c's attachment, prepared now when the
    // cache does not hold it (prepared then says so). The least recently
    // used one goes when more than the limit are held.
    std::shared_ptr<PreparedSql> get(Connection& c, Firebird::ITransaction* tra, const std::string& text,
                                     bool* prepared = nullptr);
    void clear() noexcept;
    std::size_t size() const { return entries_.size(); }

    static constexpr std::size_t limit = 256;

private:
    using Order = std::list<std::string>;
    struct Entry {
        std::shared_ptr<PreparedSql> sql;
        Order::iterator used;
    };
    std::unordered_map<std::string, Entry> entries_;
    Order order_;   // the most recently used first
};

} // namespace db::detail
