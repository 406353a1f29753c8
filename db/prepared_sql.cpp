#include "db/prepared_sql.h"

#include "db/connection.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace db::detail {

using namespace Firebird;

namespace {

bool nameStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool nameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

template <class T>
T load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(unsigned char* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

constexpr unsigned maxTextCapacity = 32765;

} // namespace

NamedParams parseNamedParams(const std::string& text)
{
    NamedParams out;
    out.sql.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto copyUntil = [&](std::size_t end) {
        end = std::min(end, n);
        out.sql.append(text, i, end - i);
        i = end;
    };
    while (i < n) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            std::size_t close = text.find(c, i + 1);
            copyUntil(close == std::string::npos ? n : close + 1);
        } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            copyUntil(text.find('\n', i));
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            std::size_t close = text.find("*/", i + 2);
            copyUntil(close == std::string::npos ? n : close + 2);
        } else if (c == ':' && i + 1 < n && nameStart(text[i + 1])) {
            std::size_t end = i + 1;
            while (end < n && nameChar(text[end]))
                ++end;
            out.names.push_back(text.substr(i + 1, end - i - 1));
            out.sql += '?';
            i = end;
        } else {
            out.sql += c;
            ++i;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------

void ParamMessage::init(IMessageMetadata* declared)
{
    declared_.reset(declared);
    meta_.reset();
    slots_.clear();
    buf_.clear();
    fb::call([&](ThrowStatusWrapper* st) {
        unsigned count = declared->getCount(st);
        slots_.resize(count);
        for (unsigned i = 0; i < count; ++i) {
            Slot& s = slots_[i];
            unsigned type = declared->getType(st, i);
            int scale = declared->getScale(st, i);
            s.charSet = declared->getCharSet(st, i);
            switch (type) {
            case SQL_SHORT:
            case SQL_LONG:
            case SQL_INT64:
                s.kind = scale == 0 ? Kind::Int64 : Kind::Double;
                break;
            case SQL_FLOAT:
            case SQL_DOUBLE:
            case SQL_D_FLOAT:
                s.kind = Kind::Double;
                break;
            case SQL_TEXT:
            case SQL_VARYING:
                s.kind = Kind::Text;
                s.capacity = std::max(1u, declared->getLength(st, i));
                break;
            default:
                s.kind = Kind::Text;
                s.capacity = 64;
                break;
            }
        }
    });
    if (count() > 0)
        rebuild();
}

void ParamMessage::rebuild()
{
    fb::call([&](ThrowStatusWrapper* st) {
        fb::Ref<IMetadataBuilder> b(declared_->getBuilder(st));
        for (unsigned i = 0; i < slots_.size(); ++i) {
            const Slot& s = slots_[i];
            switch (s.kind) {
            case Kind::Int64:
                b->setType(st, i, SQL_INT64);
                b->setLength(st, i, sizeof(std::int64_t));
                b->setScale(st, i, 0);
                b->setSubType(st, i, 0);
                break;
            case Kind::Double:
                b->setType(st, i, SQL_DOUBLE);
                b->setLength(st, i, sizeof(double));
                b->setScale(st, i, 0);
                b->setSubType(st, i, 0);
                break;
            case Kind::Text:
                b->setType(st, i, SQL_VARYING);
                b->setLength(st, i, s.capacity);
                b->setScale(st, i, 0);
                b->setSubType(st, i, 0);
                b->setCharSet(st, i, s.charSet);
                break;
            }
        }
        meta_.reset(b->getMetadata(st));
        buf_.assign(meta_->getMessageLength(st), 0);
        for (unsigned i = 0; i < slots_.size(); ++i) {
            slots_[i].offset = meta_->getOffset(st, i);
            slots_[i].nullOffset = meta_->getNullOffset(st, i);
        }
    });
}

// Whether the slot carries v as it stands; if not, widens the slot so that
// it will (the message is then rebuilt).
bool ParamMessage::fits(Slot& s, const Value& v)
{
    if (v.isNull())
        return true;
    switch (s.kind) {
    case Kind::Int64:
        if (v.isInteger())
            return true;
        if (v.isDouble()) {
            s.kind = Kind::Double;
            return false;
        }
        try {
            (void)v.toInteger();
            return true;
        } catch (const UsageError&) {
        }
        break;
    case Kind::Double:
        if (v.isDouble() || (v.isInteger() && std::llabs(v.toInteger()) <= (std::int64_t{1} << 53)))
            return true;
        break;
    case Kind::Text:
        break;
    }
    std::size_t need = v.isText() ? v.toText().size() : 32;
    need = std::clamp<std::size_t>(need, 1, maxTextCapacity);
    if (s.kind == Kind::Text && s.capacity >= need)
        return true;
    s.kind = Kind::Text;
    s.capacity = std::max<unsigned>(s.capacity, static_cast<unsigned>(need));
    return false;
}

void ParamMessage::bind(const Value* const* values, std::size_t n)
{
    if (n != slots_.size())
        throw UsageError("The statement takes " + std::to_string(slots_.size()) + " parameters, " +
                         std::to_string(n) + " given");
    bool same = true;
    for (std::size_t i = 0; i < n; ++i)
        same = fits(slots_[i], *values[i]) && same;
    if (!same)
        rebuild();
    unsigned char* b = buf_.data();
    for (std::size_t i = 0; i < n; ++i) {
        const Slot& s = slots_[i];
        const Value& v = *values[i];
        store<short>(b + s.nullOffset, v.isNull() ? -1 : 0);
        if (v.isNull())
            continue;
        switch (s.kind) {
        case Kind::Int64:
            store<std::int64_t>(b + s.offset, v.toInteger());
            break;
        case Kind::Double:
            store<double>(b + s.offset, v.toDouble());
            break;
        case Kind::Text: {
            std::string text = v.toText();
            std::size_t len = std::min<std::size_t>(text.size(), s.capacity);
            store<unsigned short>(b + s.offset, static_cast<unsigned short>(len));
            std::memcpy(b + s.offset + sizeof(unsigned short), text.data(), len);
            break;
        }
        }
    }
}

// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------

bool PreparedSql::preparedFor(const Connection& c, const std::string& text) const
{
    return stmt_ && serial_ != 0 && serial_ == c.attachmentSerial() && text_ == text;
}

void PreparedSql::reset() noexcept
{
    stmt_.reset();
    text_.clear();
    serial_ = 0;
}

void PreparedSql::prepare(Connection& c, ITransaction* tra, const std::string& text)
{
    reset();
    IAttachment* att = c.attachment();
    if (!att)
        throw UsageError("Connection is not connected");
    fb::call([&](ThrowStatusWrapper* st) {
        fb::Ref<IStatement> stmt(att->prepare(st, tra, static_cast<unsigned>(text.size()), text.c_str(),
                                              c.sqlDialect(), IStatement::PREPARE_PREFETCH_METADATA));
        params_.init(stmt->getInputMetadata(st));
        output_.init(stmt->getOutputMetadata(st));
        stmt_ = std::move(stmt);
    });
    text_ = text;
    serial_ = c.attachmentSerial();
}

void PreparedSql::execute(ITransaction* tra, const Value* const* params, std::size_t n)
{
    params_.bind(params, n);
    fb::call([&](ThrowStatusWrapper* st) {
        stmt_->execute(st, tra, params_.metadata(), params_.count() ? params_.buffer() : nullptr,
                       output_.columnCount() ? output_.metadata() : nullptr,
                       output_.columnCount() ? output_.buffer() : nullptr);
    });
}

fb::Ref<IResultSet> PreparedSql::openCursor(ITransaction* tra, const Value* const* params, std::size_t n)
{
    params_.bind(params, n);
    return fb::call([&](ThrowStatusWrapper* st) {
        return fb::Ref<IResultSet>(stmt_->openCursor(st, tra, params_.metadata(),
                                                     params_.count() ? params_.buffer() : nullptr,
                                                     output_.metadata(), 0));
    });
}

} // namespace db::detail
