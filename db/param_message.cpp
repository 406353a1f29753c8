#include "db/param_message.h"

#include "db/error.h"
#include "db/message_buffer.h"

#include <ibase.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace db::detail {

using namespace Firebird;

namespace {

constexpr unsigned maxTextCapacity = 32765;

} // namespace

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
        } catch (const ConversionError&) {
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

} // namespace db::detail
