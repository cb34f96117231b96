#include "tools/unrar/crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#include <initializer_list>

namespace {
// Folds 64 bytes at a time, then 16, then reduces (Barrett) to 32 bits; the
// constants are those of the bit-reflected CRC-32 polynomial. `crc` is the
// raw register (inverted), and `size` a multiple of 16, at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldCrc(const uint8_t* p, size_t size, uint32_t crc)
{
    alignas(16) static const uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const uint64_t poly[] = {0x01db710641, 0x01f7011641};

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x00));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x10));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x20));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(int(crc)));
    __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    p += 64;
    size -= 64;
    while (size >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
        __m128i x6 = _mm_clmulepi64_si128(x2, x0, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, x0, 0x00);
        __m128i x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
        x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
        x2 = _mm_clmulepi64_si128(x2, x0, 0x11);
        x3 = _mm_clmulepi64_si128(x3, x0, 0x11);
        x4 = _mm_clmulepi64_si128(x4, x0, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x00)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x10)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x20)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x30)));
        p += 64;
        size -= 64;
    }
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    for (__m128i next : {x2, x3, x4}) {
        __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
        x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, next), x5);
    }
    while (size >= 16) {
        __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
        x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), x5);
        p += 16;
        size -= 16;
    }
    // 128 bits to 64
    __m128i x2b = _mm_clmulepi64_si128(x1, x0, 0x10);
    __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
    x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), x0, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    // Barrett reduction to 32 bits
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), x0, 0x10);
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, mask), x0, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return uint32_t(_mm_extract_epi32(x1, 1));
}

bool HasCarrylessMultiply()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}
}  // namespace
#endif

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size)
{
    auto* p = static_cast<const uint8_t*>(data);
    if (size == 0)
        return crc;
#if defined(__x86_64__)
    if (size >= 64 && HasCarrylessMultiply()) {
        size_t folded = size & ~size_t(15);
        crc = ~FoldCrc(p, folded, ~crc);
        p += folded;
        size -= folded;
        if (size == 0)
            return crc;
    }
#endif
    return uint32_t(crc32_z(crc, p, size));
}
