#pragma once
// Expecting an exception of one type with words of its message:
//
//     QVERIFY(expectThrow<EConvertError>([&] { StrToInt("x"); }, "is not a valid integer value"));
//
// When nothing is thrown, or the message lacks the words, a warning says so
// and the QVERIFY fails on the test's own line. An exception of another type
// passes through and fails the test as well. A test that looks further into
// the exception passes an optional that receives a copy of it.

#include <QtGlobal>

#include <concepts>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

namespace expect_throw_detail {

template <typename E, typename Act>
bool expect(Act&& act, std::string_view message, bool whole, std::optional<E>* caught)
{
    try {
        std::forward<Act>(act)();
    } catch (const E& error) {
        if (caught)
            caught->emplace(error);
        const std::string_view what(error.what());
        if (whole ? what == message : what.find(message) != std::string_view::npos)
            return true;
        qWarning("the message \"%s\" %s \"%s\"", error.what(), whole ? "is not" : "lacks",
                 std::string(message).c_str());
        return false;
    }
    qWarning("nothing was thrown; expected %s with \"%s\"", typeid(E).name(), std::string(message).c_str());
    return false;
}

} // namespace expect_throw_detail

// Whether act throws an E whose message contains messagePart.
template <typename E, std::invocable Act>
    requires std::derived_from<E, std::exception>
[[nodiscard]] bool expectThrow(Act&& act, std::string_view messagePart = {}, std::optional<E>* caught = nullptr)
{
    return expect_throw_detail::expect<E>(std::forward<Act>(act), messagePart, false, caught);
}

// Whether act throws an E whose message is exactly message.
template <typename E, std::invocable Act>
    requires std::derived_from<E, std::exception>
[[nodiscard]] bool expectThrowExactly(Act&& act, std::string_view message, std::optional<E>* caught = nullptr)
{
    return expect_throw_detail::expect<E>(std::forward<Act>(act), message, true, caught);
}
