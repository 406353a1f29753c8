#pragma once
// Inside the dataset layer only: the parameter message of a prepared statement.

#include "db/fb_support.h"
#include "db/value.h"

#include <cstddef>
#include <vector>

namespace db::detail {

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
    // The parameters as the statement declares them.
    Firebird::IMessageMetadata* declared() const { return declared_.get(); }
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

} // namespace db::detail
