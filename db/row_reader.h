#pragma once
// Inside the dataset layer only: the reading of result rows into values.

#include "db/fb_support.h"
#include "db/value.h"

#include <string>
#include <vector>

namespace db::detail {

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
    // One column's value in the current message; the column is not NULL.
    static Value columnValue(const Column& c, const unsigned char* p, Firebird::IAttachment* att,
                             Firebird::ITransaction* tra);
    fb::Ref<Firebird::IMessageMetadata> meta_;
    std::vector<Column> cols_;
    std::vector<std::string> names_;
    std::vector<unsigned char> buf_;
};

} // namespace db::detail
