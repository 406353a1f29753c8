#pragma once
// Inside the dataset layer only: a prepared statement with its parameter
// message, and the reading of result rows into values.

#include "db/fb_support.h"
#include "db/value.h"

#include <cstdint>
#include <string>
#include <vector>

namespace db {
class Connection;
}

namespace db::detail {

// Statement text with ":NAME" parameters turned into "?" (quoted strings,
// quoted identifiers and comments are left alone).
struct NamedParams {
    std::string sql;
    std::vector<std::string> names;
};
NamedParams parseNamedParams(const std::string& text);

// The parameter message of one statement. Each parameter travels as a
// 64-bit integer, a double or text, whichever carries the bound value
// without loss; the server converts it to the declared type, so a value the
// column cannot take is refused in the server's own words.
class ParamMessage {
public:
    void init(Firebird::IMessageMetadata* declared);
    unsigned count() const { return static_cast<unsigned>(slots_.size()); }
    void bind(const Value* const* values, std::size_t n);
    Firebird::IMessageMetadata* metadata() const { return meta_.get(); }
    unsigned char* buffer() { return buf_.data(); }

private:
    enum class Kind { Int64, Double, Text };
    struct Slot {
        unsigned charSet = 0;
        Kind kind = Kind::Text;
        unsigned capacity = 0;
        unsigned offset = 0;
        unsigned nullOffset = 0;
    };
    bool fits(Slot& slot, const Value& v);
    void rebuild();

    fb::Ref<Firebird::IMessageMetadata> declared_;
    fb::Ref<Firebird::IMessageMetadata> meta_;
    std::vector<Slot> slots_;
    std::vector<unsigned char> buf_;
};

// Reads rows of an output message into values.
class RowReader {
public:
    void init(Firebird::IMessageMetadata* meta);
    std::size_t columnCount() const { return cols_.size(); }
    const std::vector<std::string>& names() const { return names_; }
    Firebird::IMessageMetadata* metadata() const { return meta_.get(); }
    unsigned char* buffer() { return buf_.data(); }
    // Appends the current message's values to out. Blobs are read through
    // the attachment in the given transaction.
    void read(Firebird::IAttachment* att, Firebird::ITransaction* tra, std::vector<Value>& out);

private:
    struct Column {
        unsigned type = 0;
        int scale = 0;
        unsigned charSet = 0;
        unsigned offset = 0;
        unsigned nullOffset = 0;
        unsigned length = 0;
        double factor = 1;
    };
    fb::Ref<Firebird::IMessageMetadata> meta_;
    std::vector<Column> cols_;
    std::vector<std::string> names_;
    std::vector<unsigned char> buf_;
};

// A statement prepared on one attachment, kept while its text and the
// attachment stay the same. Released (never freed) on destruction, so it is
// safe after the connection has gone.
class PreparedSql {
public:
    bool preparedFor(const Connection& c, const std::string& text) const;
    // Prepares the text (positional "?" parameters) in dialect of c.
    void prepare(Connection& c, Firebird::ITransaction* tra, const std::string& text);
    void reset() noexcept;

    unsigned paramCount() const { return params_.count(); }
    bool hasOutput() const { return output_.columnCount() > 0; }
    RowReader& output() { return output_; }

    void execute(Firebird::ITransaction* tra, const Value* const* params, std::size_t n);
    // Opens a cursor; the caller fetches into output().buffer().
    fb::Ref<Firebird::IResultSet> openCursor(Firebird::ITransaction* tra, const Value* const* params,
                                             std::size_t n);

private:
    fb::Ref<Firebird::IStatement> stmt_;
    std::string text_;
    std::uint64_t serial_ = 0;
    ParamMessage params_;
    RowReader output_;
};

} // namespace db::detail
