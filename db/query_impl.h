#pragma once
// Inside the dataset layer only: what a query holds behind its interface,
// shared by its reading half (query.cpp) and its editing half
// (query_editing.cpp).

#include "db/prepared_sql.h"
#include "db/query.h"
#include "db/update_runner.h"
#include "db/value.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace db {

namespace detail {
inline constexpr std::size_t noRow = std::numeric_limits<std::size_t>::max();
}

struct Query::Impl {
    // Shared with whoever else runs the same text on the attachment.
    std::shared_ptr<detail::PreparedSql> select;
    std::vector<std::string> names;
    // Each column name as the statement gives it, to the column that
    // fieldIndex finds for it: most lookups spell the name just so.
    std::unordered_map<std::string_view, int> exactNames;
    std::uint64_t fieldsVersion = 0;

    std::vector<Value> rows; // row-major, names.size() values per row
    std::size_t cur = detail::noRow;
    bool eof = true;
    bool bof = true;

    std::vector<Value> pending; // the row being edited or inserted
    std::vector<Value> old;     // its values before the edit

    detail::UpdateRunner updates;
    std::string generatorField;
    std::string generator;
    detail::PreparedSql generatorSql;

    int prepareCount = 0; // the select's and the generator's

    std::size_t width() const { return names.size(); }
    std::size_t rowCount() const { return width() ? rows.size() / width() : 0; }
    void setNames(std::vector<std::string> fresh);
    const Value* row(std::size_t r) const { return rows.data() + r * width(); }
};

} // namespace db
