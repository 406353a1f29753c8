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

} // namespace

void RowReader::read(IAttachment* att, ITransaction* tra, std::vector<Value>& out)
{
    const unsigned char* b = buf_.data();
    for (const Column& c : cols_) {
        if (load<short>(b + c.nullOffset) != 0) {
            out.emplace_back();
            continue;
        }
        const unsigned char* p = b + c.offset;
        auto integer = [&](std::int64_t v) {
            if (c.scale == 0)
                out.emplace_back(v);
            else
                out.emplace_back(static_cast<double>(v) * c.factor);
        };
        switch (c.type) {
        case SQL_SHORT:
            integer(load<std::int16_t>(p));
            break;
        case SQL_LONG:
            integer(load<std::int32_t>(p));
            break;
        case SQL_INT64:
            integer(load<std::int64_t>(p));
            break;
        case SQL_FLOAT:
            out.emplace_back(static_cast<double>(load<float>(p)));
            break;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            out.emplace_back(load<double>(p));
            break;
        case SQL_TEXT: {
            // CHAR arrives padded to its length; the padding is not data.
            unsigned len = c.length;
            if (c.charSet != 1) // OCTETS pads with zeros and keeps them
                while (len > 0 && p[len - 1] == ' ')
                    --len;
            out.emplace_back(std::string(reinterpret_cast<const char*>(p), len));
            break;
        }
        case SQL_VARYING: {
            unsigned short len = load<unsigned short>(p);
            out.emplace_back(std::string(reinterpret_cast<const char*>(p + sizeof(unsigned short)), len));
            break;
        }
        case SQL_TYPE_DATE:
            out.emplace_back(dateText(load<ISC_DATE>(p)));
            break;
        case SQL_TYPE_TIME:
            out.emplace_back(timeText(load<ISC_TIME>(p)));
            break;
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP ts = load<ISC_TIMESTAMP>(p);
            out.emplace_back(dateText(ts.timestamp_date) + ' ' + timeText(ts.timestamp_time));
            break;
        }
        case SQL_BLOB:
            out.emplace_back(readBlob(att, tra, load<ISC_QUAD>(p)));
            break;
        case SQL_BOOLEAN:
            out.emplace_back(std::int64_t{*p != 0});
            break;
        default:
            out.emplace_back();
            break;
        }
    }
}

} // namespace db::detail
