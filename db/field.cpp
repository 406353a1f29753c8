#include "db/field.h"

#include "db/error.h"
#include "db/query.h"

#include <limits>

namespace db {

const std::string& Field::name() const
{
    return query_->fieldName(index_);
}

const Value& Field::value() const
{
    return query_->currentValue(index_);
}

std::int32_t Field::asInteger() const
{
    std::int64_t v = value().toInteger();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw ConversionError("'" + value().toText() + "' is not a valid integer value");
    return static_cast<std::int32_t>(v);
}

void Field::setValue(Value v)
{
    query_->setCurrentValue(index_, std::move(v));
}

const Value& RowView::operator[](std::string_view column) const
{
    int index = query_.fieldIndex(column);
    if (index < 0)
        throw UsageError("Field '" + std::string(column) + "' not found");
    return query_.value(row_, index);
}

} // namespace db
