#pragma once
// Expecting an exception of one type with words of its message:
//
//     QVERIFY(expectThrow<EConvertError>([&] { StrToInt("x"); }, "is not a valid integer value"));
//
// When nothing is thrown, or the message lacks the words, a warning says so
// and the QVERIFY fails on the test's own line. An exception of another type
// passes through and fails the test as well.

#include <QtGlobal>

#include <concepts>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

template <typename E, std::invocable Act>
    requires std::derived_from<E, std::exception>
[[nodiscard]] bool expectThrow(Act&& act, std::string_view messagePart = {}, std::optional<E>* caught = nullptr)
{
    try {
        std::forward<Act>(act)();
    } catch (const E& error) {
        if (caught)
            caught->emplace(error);
        if (std::string_view(error.what()).find(messagePart) != std::string_view::npos)
            return true;
        qWarning("the message \"%s\" lacks \"%.*s\"", error.what(), int(messagePart.size()), messagePart.data());
        return false;
    }
    qWarning("nothing was thrown; expected %s with \"%.*s\"", typeid(E).name(), int(messagePart.size()),
             messagePart.data());
    return false;
}
