#pragma once
// Inside the dataset layer only: unaligned reads and writes of a message
// buffer's fields.

#include <cstring>

namespace db::detail {

template <class T>
T load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(unsigned char* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

} // namespace db::detail
