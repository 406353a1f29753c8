#include "db/value.h"

#include "db/error.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace db {

namespace {

// The whole text as a number: an optional sign, then the number and nothing
// else (a decimal integer for std::int64_t).
template <class Number>
bool parseNumber(const std::string& s, Number& out)
{
    const char* b = s.data();
    const char* e = b + s.size();
    if (b != e && *b == '+')
        ++b;
    if (b == e)
        return false;
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e;
}

std::string doubleText(double d)
{
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, p) : std::string();
}

} // namespace

std::string Value::toText() const
{
    if (auto* i = std::get_if<std::int64_t>(&v_))
        return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v_))
        return doubleText(*d);
    if (auto* s = std::get_if<std::string>(&v_))
        return *s;
    return {};
}

std::int64_t Value::toInteger() const
{
    if (auto* i = std::get_if<std::int64_t>(&v_))
        return *i;
    if (auto* d = std::get_if<double>(&v_)) {
        if (!std::isfinite(*d) || std::fabs(*d) >= 9.2e18)
            throw ConversionError("'" + doubleText(*d) + "' is not a valid integer value");
        return std::llround(*d);
    }
    if (auto* s = std::get_if<std::string>(&v_)) {
        std::int64_t r = 0;
        if (!parseNumber(*s, r))
            throw ConversionError("'" + *s + "' is not a valid integer value");
        return r;
    }
    return 0;
}

double Value::toDouble() const
{
    if (auto* i = std::get_if<std::int64_t>(&v_))
        return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v_))
        return *d;
    if (auto* s = std::get_if<std::string>(&v_)) {
        double r = 0;
        if (!parseNumber(*s, r))
            throw ConversionError("'" + *s + "' is not a valid floating point value");
        return r;
    }
    return 0;
}

bool Value::toFlag() const
{
    auto* s = std::get_if<std::string>(&v_);
    if (!s || s->empty())
        return false;
    char c = (*s)[0];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

bool Value::sameAs(const Value& other) const
{
    if (isNull() || other.isNull())
        return isNull() && other.isNull();
    if (isText() && other.isText())
        return std::get<std::string>(v_) == std::get<std::string>(other.v_);
    if (isInteger() && other.isInteger())
        return std::get<std::int64_t>(v_) == std::get<std::int64_t>(other.v_);
    // One side is a number: the other must hold the same number.
    const Value& num = isText() ? other : *this;
    const Value& any = isText() ? *this : other;
    if (any.isText()) {
        const std::string& s = std::get<std::string>(any.v_);
        if (num.isInteger()) {
            std::int64_t r = 0;
            return parseNumber(s, r) && r == std::get<std::int64_t>(num.v_);
        }
        double d = 0;
        return parseNumber(s, d) && d == std::get<double>(num.v_);
    }
    return num.toDouble() == any.toDouble();
}

} // namespace db
