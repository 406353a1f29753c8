#pragma once
// One column value of a buffered row: NULL, an integer, a floating number or
// text (ISO 8859-1 bytes, as the connection's character set delivers them).

#include <cstdint>
#include <string>
#include <variant>

namespace db {

class Value {
public:
    Value() = default;                       // NULL
    Value(int v) : v_(std::int64_t{v}) {}
    Value(std::int64_t v) : v_(v) {}
    Value(double v) : v_(v) {}
    Value(std::string v) : v_(std::move(v)) {}
    Value(const char* v) : v_(std::string(v)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(v_); }
    bool isDouble() const { return std::holds_alternative<double>(v_); }
    bool isText() const { return std::holds_alternative<std::string>(v_); }

    // NULL reads as empty text; numbers as their decimal text.
    std::string toText() const;
    // NULL reads as 0; text is converted (ConversionError when it is no integer).
    std::int64_t toInteger() const;
    double toDouble() const;
    // Flag rule: true when the text's first character is T, t, Y or y.
    bool toFlag() const;

    // Exact comparison as a search uses it: integers with integers (a text
    // that holds an integer compares as one), text with text byte by byte.
    bool sameAs(const Value& other) const;
    friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

private:
    std::variant<std::monostate, std::int64_t, double, std::string> v_;
};

} // namespace db
