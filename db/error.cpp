#include "db/error.h"

#include <ibase.h>

#include <algorithm>
#include <iterator>

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

namespace {

template <std::size_t N>
bool hasAnyOf(const DbError& error, const std::intptr_t (&wanted)[N])
{
    return std::any_of(std::begin(wanted), std::end(wanted), [&](std::intptr_t code) { return error.hasCode(code); });
}

} // namespace

bool DbError::tellsOfDamage() const
{
    static constexpr std::intptr_t damage[] = {isc_bug_check, isc_db_corrupt, isc_badpagtyp, isc_badpage,
                                               isc_bad_checksum, isc_io_read_err};
    return hasAnyOf(*this, damage);
}

bool DbError::isNetworkFailure() const
{
    static constexpr std::intptr_t network[] = {isc_network_error, isc_net_connect_err, isc_net_connect_listen_err,
                                                isc_connect_reject, isc_net_read_err, isc_net_write_err,
                                                isc_lost_db_connection};
    return hasAnyOf(*this, network);
}

bool DbError::isPermissionDenied() const
{
    return hasCode(isc_no_priv);
}

} // namespace db
