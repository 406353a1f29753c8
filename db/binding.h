#pragma once
// Inside the dataset layer only: the connection and transaction a query or
// a plain statement works on, refused in our own words when missing.

namespace db {
class Connection;
class Transaction;
}

namespace db::detail {

// The connection. UsageError when there is none, or it is not connected
// and was not lost (a lost one attaches again when its next transaction
// starts).
Connection& connectedOf(Connection* c);
// The own transaction, else the connection's default one. UsageError when
// there is neither.
Transaction& transactionOf(Transaction* own, Connection& c);

} // namespace db::detail
