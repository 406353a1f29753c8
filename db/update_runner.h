#pragma once
// Inside the dataset layer only: runs a query's update statements (modify,
// insert, delete) with a row's values, each prepared once per text and
// attachment. ":COLUMN" takes the row's current value, ":OLD_COLUMN" the
// value before the edit.

#include "db/named_params.h"
#include "db/prepared_sql.h"
#include "db/value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Firebird { class ITransaction; }

namespace db {
class Connection;
class Query;
}

namespace db::detail {

class UpdateRunner {
public:
    // fieldsVersion changes whenever the query's columns do; the columns of
    // the parameters are looked up again then.
    void run(const std::string& text, const Query& q, std::uint64_t fieldsVersion, const std::vector<Value>& current,
             const std::vector<Value>& old, Connection& c, Firebird::ITransaction* tra);
    // The statement with positional parameters and the row's values for
    // them, for a write that another request carries; nothing is prepared.
    struct Bound {
        std::string sql;
        std::vector<Value> values;
    };
    Bound bind(const std::string& text, const Query& q, std::uint64_t fieldsVersion,
               const std::vector<Value>& current, const std::vector<Value>& old);
    int prepareCount() const { return prepareCount_; }
    // Forgets every prepared statement (their attachment is gone).
    void reset() noexcept { cache_.clear(); }

private:
    struct Source {
        int column;
        bool old;
    };
    struct Prepared {
        NamedParams parsed;
        PreparedSql sql;
        std::vector<Source> sources;
        std::uint64_t resolvedFor = 0;
    };
    // The parsed text with the columns of its parameters looked up.
    Prepared& resolved(const std::string& text, const Query& q, std::uint64_t fieldsVersion);

    std::unordered_map<std::string, std::unique_ptr<Prepared>> cache_;
    int prepareCount_ = 0;
};

} // namespace db::detail
