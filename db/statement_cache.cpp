#include "db/statement_cache.h"

#include "db/connection.h"

namespace db::detail {

std::shared_ptr<PreparedSql> StatementCache::get(Connection& c, Firebird::ITransaction* tra, const std::string& text,
                                                 bool* prepared)
{
    if (prepared)
        *prepared = false;
    auto found = entries_.find(text);
    if (found != entries_.end() && found->second.sql->preparedFor(c, text)) {
        order_.splice(order_.begin(), order_, found->second.used);
        return found->second.sql;
    }
    // A statement in use elsewhere keeps its old preparation; a fresh one
    // takes its place here.
    auto sql = std::make_shared<PreparedSql>();
    sql->prepare(c, tra, text);
    if (prepared)
        *prepared = true;
    if (found != entries_.end()) {
        found->second.sql = sql;
        order_.splice(order_.begin(), order_, found->second.used);
        return sql;
    }
    order_.push_front(text);
    entries_.emplace(text, Entry{sql, order_.begin()});
    while (entries_.size() > limit) {
        entries_.erase(order_.back());
        order_.pop_back();
    }
    return sql;
}

void StatementCache::clear() noexcept
{
    entries_.clear();
    order_.clear();
}

} // namespace db::detail
