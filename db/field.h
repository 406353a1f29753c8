#pragma once
// Views of a query's buffered rows: one column of the current row, and one
// row as a filter sees it.

#include "db/value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace db {

class Query;

// One column of the query's current row (the pending row while editing).
class Field {
public:
    Field(Query& query, int index) : query_(&query), index_(index) {}

    const std::string& name() const;
    const Value& value() const;
    bool isNull() const { return value().isNull(); }
    // NULL reads as empty text, numbers as decimal text.
    std::string asString() const { return value().toText(); }
    // NULL reads as 0. ConversionError when the value is no 32-bit integer.
    std::int32_t asInteger() const;
    // Flag rule: true when the text begins with T, t, Y or y.
    bool asFlag() const { return value().toFlag(); }

    // Writing needs the query in edit or insert state (UsageError otherwise).
    void setValue(Value v);
    void setInteger(std::int32_t v) { setValue(Value(std::int64_t{v})); }
    void setString(std::string v) { setValue(Value(std::move(v))); }
    void setFlag(bool v) { setValue(Value(v ? "T" : "F")); }
    void setNull() { setValue(Value()); }

private:
    Query* query_;
    int index_;
};

// A row of the buffer, as a filter sees it.
class RowView {
public:
    RowView(const Query& query, std::size_t row) : query_(query), row_(row) {}
    // UsageError for a column the query lacks.
    const Value& operator[](std::string_view column) const;

private:
    const Query& query_;
    std::size_t row_;
};

} // namespace db
