#pragma once
// Holding one reference of a shared string for the life of a C++ object.

#include "sharedheap/shared_heap.h"

#include <string>
#include <string_view>
#include <utility>

class SharedStringRef {
public:
    SharedStringRef() = default;
    // Adds one reference to s (nothing for null or a constant).
    explicit SharedStringRef(SharedString s) : s_(s) { SharedStringAddRef(s_); }
    // Takes over a reference the caller already holds, e.g. from SharedStringNew.
    static SharedStringRef adopt(SharedString s)
    {
        SharedStringRef r;
        r.s_ = s;
        return r;
    }
    // A new string with count 1 holding the bytes of text.
    static SharedStringRef fromBytes(std::string_view text)
    {
        return adopt(SharedStringNew(text.data(), text.size()));
    }

    SharedStringRef(const SharedStringRef& other) : s_(other.s_) { SharedStringAddRef(s_); }
    SharedStringRef(SharedStringRef&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    SharedStringRef& operator=(SharedStringRef other) noexcept
    {
        std::swap(s_, other.s_);
        return *this;
    }
    ~SharedStringRef() { SharedStringRelease(s_); }

    SharedString get() const { return s_; }
    std::string_view view() const
    {
        return s_ ? std::string_view(s_, static_cast<std::size_t>(SharedStringLength(s_)))
                  : std::string_view();
    }

private:
    SharedString s_ = nullptr;
};
