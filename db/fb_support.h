#pragma once
// Inside the dataset layer only: access to the client library, the one
// place where a Firebird status becomes a DbError, and owning wrappers for
// the library's interfaces.

#include "db/error.h"

#include <firebird/Interface.h>

#include <cstdint>
#include <utility>

namespace db::fb {

Firebird::IMaster* master();
Firebird::IUtil* util();

// A status object reused by every call of this thread, cleared on each use.
Firebird::ThrowStatusWrapper* status();

// Throws the status as the DbError that fits its codes (LockConflictError,
// DuplicateKeyError, ConnectionLostError, else DbError), with the server's
// whole message, its error codes and SQLSTATE.
[[noreturn]] void raise(const Firebird::IStatus* status);

// Runs f(status) and turns the library's exception into our own.
template <class F>
decltype(auto) call(F&& f)
{
    try {
        return std::forward<F>(f)(status());
    } catch (const Firebird::FbException& e) {
        raise(e.getStatus());
    }
}

// Owns one reference of a reference-counted interface. drop() forgets a
// handle the library has already let go of (after commit, detach, free).
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    ~Ref() { reset(); }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept
    {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset(T* p = nullptr) noexcept
    {
        if (p_)
            p_->release();
        p_ = p;
    }
    void drop() noexcept { p_ = nullptr; }

private:
    T* p_ = nullptr;
};

// Owns a disposable interface (a parameter block builder).
template <class T>
class Disposable {
public:
    explicit Disposable(T* p) : p_(p) {}
    ~Disposable()
    {
        if (p_)
            p_->dispose();
    }
    Disposable(const Disposable&) = delete;
    Disposable& operator=(const Disposable&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_;
};

} // namespace db::fb
