#pragma once
// Inside the dataset layer only: a statement prepared on one attachment with
// its parameter and output messages.

#include "db/fb_support.h"
#include "db/param_message.h"
#include "db/row_reader.h"
#include "db/value.h"

#include <cstdint>
#include <string>

namespace db {
class Connection;
}

namespace db::detail {

// A statement prepared on one attachment, kept while its text and the
// attachment stay the same. Released (never freed) on destruction, so it is
// safe after the connection has gone.
class PreparedSql {
public:
    bool preparedFor(const Connection& c, const std::string& text) const;
    // Prepares the text (positional "?" parameters) in dialect of c.
    void prepare(Connection& c, Firebird::ITransaction* tra, const std::string& text);
    void reset() noexcept;

    bool hasOutput() const { return output_.columnCount() > 0; }
    RowReader& output() { return output_; }
    const ParamMessage& params() const { return params_; }

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
