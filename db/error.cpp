#include "db/error.h"

#include <algorithm>

namespace db {

DbError::DbError(std::string message, std::vector<std::intptr_t> codes, std::string sqlState)
    : std::runtime_error(std::move(message)), codes_(std::move(codes)), sqlState_(std::move(sqlState))
{
}

RaisedError::RaisedError(std::string message, std::vector<std::intptr_t> codes, std::string sqlState,
                         std::string raised)
    : DbError(std::move(message), std::move(codes), std::move(sqlState)), raised_(std::move(raised))
{
}

bool DbError::hasCode(std::intptr_t code) const
{
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

} // namespace db
