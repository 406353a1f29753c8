// The shared heap is the C runtime's heap behind three entry points that
// both the host and the module call through this one library, so a block
// allocated on one side may be freed on the other.

#include "sharedheap/shared_heap.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

SharedStringHeader* headerOf(SharedString s)
{
    return reinterpret_cast<SharedStringHeader*>(s) - 1;
}

} // namespace

extern "C" {

void* SharedGetMem(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

int SharedFreeMem(void* block)
{
    std::free(block);
    return 0;
}

void* SharedReallocMem(void* block, std::size_t size)
{
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size);
}

SharedString SharedStringNew(const char* text, std::size_t length)
{
    if (length == 0)
        return nullptr;
    // The length must fit the header; a text that does not, or a heap that
    // is exhausted, is an allocation failure, never an empty string.
    if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())
                     - sizeof(SharedStringHeader) - 1)
        throw std::bad_alloc();
    auto* header = static_cast<SharedStringHeader*>(
        SharedGetMem(sizeof(SharedStringHeader) + length + 1));
    if (!header)
        throw std::bad_alloc();
    header->refCount = 1;
    header->length = static_cast<std::int32_t>(length);
    char* chars = reinterpret_cast<char*>(header + 1);
    if (text)
        std::memcpy(chars, text, length);
    else
        std::memset(chars, 0, length);
    chars[length] = '\0';
    return chars;
}

void SharedStringAddRef(SharedString s)
{
    if (!s)
        return;
    SharedStringHeader* h = headerOf(s);
    if (h->refCount < 0)
        return;
    ++h->refCount;
}

void SharedStringRelease(SharedString s)
{
    if (!s)
        return;
    SharedStringHeader* h = headerOf(s);
    if (h->refCount < 0)
        return;
    if (--h->refCount == 0)
        SharedFreeMem(h);
}

std::int32_t SharedStringRefCount(SharedString s)
{
    return s ? headerOf(s)->refCount : 0;
}

std::int32_t SharedStringLength(SharedString s)
{
    return s ? headerOf(s)->length : 0;
}

}
