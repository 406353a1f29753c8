#include "db/row_reader.h"

#include "db/message_buffer.h"

#include <ibase.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace db::detail {

using namespace Firebird;

void RowReader::init(IMessageMetadata* meta)
{
    meta_.reset(meta);
    cols_.clear();
    names_.clear();
    buf_.clear();
    if (!meta)
        return;
    fb::call([&](ThrowStatusWrapper* st) {
        unsigned count = meta->getCount(st);
        cols_.resize(count);
        names_.resize(count);
        for (unsigned i = 0; i < count; ++i) {
            Column& c = cols_[i];
            c.type = meta->getType(st, i);
            c.scale = meta->getScale(st, i);
            c.charSet = meta->getCharSet(st, i);
            c.offset = meta->getOffset(st, i);
            c.nullOffset = meta->getNullOffset(st, i);
            c.length = meta->getLength(st, i);
            c.factor = std::pow(10.0, c.scale);
            names_[i] = meta->getAlias(st, i);
        }
        buf_.assign(meta->getMessageLength(st), 0);
    });
}

namespace {

std::string dateText(ISC_DATE d)
{
    unsigned y = 0, m = 0, day = 0;
    fb::util()->decodeDate(d, &y, &m, &day);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", y, m, day);
    return buf;
}

std::string timeText(ISC_TIME t)
{
    unsigned h = 0, m = 0, s = 0, frac = 0;
    fb::util()->decodeTime(t, &h, &m, &s, &frac);
    char buf[32];
    if (frac)
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u.%04u", h, m, s, frac);
    else
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", h, m, s);
    return buf;
}

std::string readBlob(IAttachment* att, ITransaction* tra, ISC_QUAD id)
{
    return fb::call([&](ThrowStatusWrapper* st) {
        fb::Ref<IBlob> blob(att->openBlob(st, tra, &id, 0, nullptr));
        std::string text;
        char chunk[16384];
        for (;;) {
            unsigned got = 0;
            int r = blob->getSegment(st, sizeof chunk, chunk, &got);
            if (r == IStatus::RESULT_OK || r == IStatus::RESULT_SEGMENT)
                text.append(chunk, got);
            else
                break;
        }
        blob->close(st);
        blob.drop();
        return text;
    });
}

// An integer column's value: scaled to a floating number when the column
// has decimals.
Value scaledInteger(std::int64_t v, int scale, double factor)
{
    if (scale == 0)
        return Value(v);
    return Value(static_cast<double>(v) * factor);
}

// CHAR arrives padded to its length; the padding is not data.
std::string charText(const unsigned char* p, unsigned length, unsigned charSet)
{
    if (charSet != 1) // OCTETS pads with zeros and keeps them
        while (length > 0 && p[length - 1] == ' ')
            --length;
    return std::string(reinterpret_cast<const char*>(p), length);
}

std::string varyingText(const unsigned char* p)
{
    unsigned short len = load<unsigned short>(p);
    return std::string(reinterpret_cast<const char*>(p + sizeof(unsigned short)), len);
}

std::string timestampText(ISC_TIMESTAMP ts)
{
    return dateText(ts.timestamp_date) + ' ' + timeText(ts.timestamp_time);
}

} // namespace

void RowReader::read(IAttachment* att, ITransaction* tra, std::vector<Value>& out)
{
    const unsigned char* b = buf_.data();
    for (const Column& c : cols_) {
        if (load<short>(b + c.nullOffset) != 0)
            out.emplace_back();
        else
            out.push_back(columnValue(c, b + c.offset, att, tra));
    }
}

Value RowReader::columnValue(const Column& c, const unsigned char* p, IAttachment* att, ITransaction* tra)
{
    switch (c.type) {
    case SQL_SHORT:
        return scaledInteger(load<std::int16_t>(p), c.scale, c.factor);
    case SQL_LONG:
        return scaledInteger(load<std::int32_t>(p), c.scale, c.factor);
    case SQL_INT64:
        return scaledInteger(load<std::int64_t>(p), c.scale, c.factor);
    case SQL_FLOAT:
        return Value(static_cast<double>(load<float>(p)));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return Value(load<double>(p));
    case SQL_TEXT:
        return Value(charText(p, c.length, c.charSet));
    case SQL_VARYING:
        return Value(varyingText(p));
    case SQL_TYPE_DATE:
        return Value(dateText(load<ISC_DATE>(p)));
    case SQL_TYPE_TIME:
        return Value(timeText(load<ISC_TIME>(p)));
    case SQL_TIMESTAMP:
        return Value(timestampText(load<ISC_TIMESTAMP>(p)));
    case SQL_BLOB:
        return Value(readBlob(att, tra, load<ISC_QUAD>(p)));
    case SQL_BOOLEAN:
        return Value(std::int64_t{*p != 0});
    default:
        return Value();
    }
}

} // namespace db::detail
