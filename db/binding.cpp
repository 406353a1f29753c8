#include "db/binding.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/transaction.h"

namespace db::detail {

Connection& connectedOf(Connection* c)
{
    if (!c)
        throw UsageError("Query has no connection");
    if (!c->connected() && !c->lost())
        throw UsageError("Connection is not connected");
    return *c;
}

Transaction& transactionOf(Transaction* own, Connection& c)
{
    Transaction* tra = own ? own : c.defaultTransaction();
    if (!tra)
        throw UsageError("Query has no transaction");
    return *tra;
}

} // namespace db::detail
