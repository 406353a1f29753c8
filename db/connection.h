#pragma once
// A connection to one Firebird database. A plain path opens the file in this
// process through the embedded engine; "host/port:path" or "host:path" goes
// to a Firebird server.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Firebird { class IAttachment; }

namespace db {

class Query;
class Transaction;
class WriteBlock;
namespace detail {
class CallScope;
class PreparedSql;
class StatementCache;
}

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setDatabaseName(std::string name) { databaseName_ = std::move(name); }
    // Parameter lines as "user_name=sysdba", "password=...", "lc_ctype=ISO8859_1".
    std::vector<std::string>& params() { return params_; }
    const std::vector<std::string>& params() const { return params_; }
    // Dialect statements are prepared with (3: see the schema script).
    void setSqlDialect(unsigned dialect) { dialect_ = dialect; }
    unsigned sqlDialect() const { return dialect_; }
    void setDefaultTransaction(Transaction* t) { defaultTransaction_ = t; }
    Transaction* defaultTransaction() const { return defaultTransaction_; }

    // Variables of the USER_SESSION context (RDB$GET_CONTEXT) that every
    // attachment of this connection starts with, also one made again after
    // a lost attachment. Takes effect at the next attach.
    void setSessionContext(std::vector<std::pair<std::string, std::string>> values)
    {
        sessionContext_ = std::move(values);
    }

    // How long attaching to a server may take before it gives up (zero: the
    // client's default). Takes effect at the next connect.
    void setConnectTimeout(std::chrono::seconds timeout) { connectTimeout_ = timeout; }
    // How long one call on the attachment may take (zero: no bound). A call
    // past its time is cancelled; when the server does not answer the
    // cancel either, the attachment is closed and counts as lost.
    void setOperationTimeout(std::chrono::seconds timeout);
    std::chrono::seconds operationTimeout() const;

    void connect();
    // Ends every transaction still active on this connection (rolled back),
    // closes its queries and detaches. Never throws.
    void disconnect() noexcept;
    bool connected() const;
    // The attachment was found gone (ConnectionLostError): its transactions
    // are no longer active, and the connection attaches again when a
    // transaction starts or a query opens. Open queries keep their rows.
    bool lost() const;
    // Creates the database file (fails when it exists) and stays connected.
    // Character set ISO8859_1, the connection's dialect.
    void createDatabase(unsigned pageSize = 8192);
    // Deletes the connected database (closing its queries and transactions
    // first) and ends the connection.
    void dropDatabase();
    // Runs one statement without parameters in the given transaction.
    void executeImmediate(const std::string& sql, Transaction& transaction);

    Firebird::IAttachment* attachment() const;

private:
    friend class Query;
    friend class Transaction;
    friend class detail::CallScope;
    friend class detail::PreparedSql;
    friend class WriteBlock;

    // The statements prepared on the present attachment, by their text.
    detail::StatementCache& statements();

    void attachDatabase(bool create, unsigned pageSize);
    // Forgets the dead attachment and its prepared statements, and attaches
    // anew. Throws what the attach raises; the connection stays lost then.
    void reattach();
    // Ends every transaction of the attachment without a word to the server.
    void markLost() noexcept;

    // Bookkeeping for the transactions and queries bound to this connection.
    void attach(Transaction* t);
    void detach(Transaction* t) noexcept;
    void attach(Query* q);
    void detach(Query* q) noexcept;
    // Changes with every connect: a statement prepared under another value
    // belongs to an attachment that is gone. 0 while disconnected.
    std::uint64_t attachmentSerial() const;

    std::string databaseName_;
    std::vector<std::string> params_;
    std::vector<std::pair<std::string, std::string>> sessionContext_;
    unsigned dialect_ = 3;
    std::chrono::seconds connectTimeout_{0};
    Transaction* defaultTransaction_ = nullptr;
    std::vector<Transaction*> transactions_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace db
