#pragma once
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies text into a fixed NUL-terminated buffer, cut to the buffer's capacity
// without splitting a UTF-8 character; returns the length stored.
template <size_t N>
int CopyToBuffer(char (&dst)[N], std::string_view src) {
    size_t n = src.size() < N - 1 ? src.size() : N - 1;
    if (n < src.size())
        while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80) --n;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
    return static_cast<int>(std::strlen(dst));
}
