#pragma once
// The one conversion of text to a signed 32-bit integer that the system uses:
// for arrow-box text, for the numeric test of the model and for the lane
// tree's archer IDs.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The integer-conversion error: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Empty text fails; leading spaces (code 32 only) are skipped; one optional
// sign; then a hexadecimal form ("$", "x", "X", "0x" or "0X" and hex digits,
// at most 32 significant bits, taken as two's complement) or decimal digits
// within the 32-bit range, running to the end of the text.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt, raising EConvertError on failure.
std::int32_t StrToInt(std::string_view text);
