#pragma once
// One heap shared by the host and the module, and the reference-counted
// string that crosses between them. A string is a pointer to its first
// character (null means the empty string); a header before the characters
// holds the reference count and the length. A constant string has the count
// -1, which is never changed, and is never freed.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  if defined(TALLYON_SHAREDHEAP_BUILD)
#    define TALLYON_SHAREDHEAP_API __declspec(dllexport)
#  else
#    define TALLYON_SHAREDHEAP_API __declspec(dllimport)
#  endif
#else
#  define TALLYON_SHAREDHEAP_API __attribute__((visibility("default")))
#endif

extern "C" {

// The three entry points of the shared heap. Free returns 0 on success.
TALLYON_SHAREDHEAP_API void* SharedGetMem(std::size_t size);
TALLYON_SHAREDHEAP_API int SharedFreeMem(void* block);
TALLYON_SHAREDHEAP_API void* SharedReallocMem(void* block, std::size_t size);

typedef char* SharedString;

struct SharedStringHeader {
    std::int32_t refCount;   // -1: a constant
    std::int32_t length;     // in bytes, without the terminating zero
};

// A new string with count 1 (null for an empty text).
TALLYON_SHAREDHEAP_API SharedString SharedStringNew(const char* text, std::size_t length);
// Adds one reference unless the string is null or constant.
TALLYON_SHAREDHEAP_API void SharedStringAddRef(SharedString s);
// Drops one reference unless null or constant; frees it at zero.
TALLYON_SHAREDHEAP_API void SharedStringRelease(SharedString s);
// The count (0 for null, -1 for a constant).
TALLYON_SHAREDHEAP_API std::int32_t SharedStringRefCount(SharedString s);
TALLYON_SHAREDHEAP_API std::int32_t SharedStringLength(SharedString s);

}
