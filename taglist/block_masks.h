// The separators and quotes among 16 bytes of a line, found at once: a tag list's line holds
// some 35 bytes, where a search call per separator costs more than the search. SSE2, which every
// x86-64 processor has; elsewhere the same masks byte by byte.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace taglist {

// Bit i set for byte i of the block.
struct BlockMasks {
    std::uint32_t separators = 0;
    std::uint32_t quotes = 0;
};

inline constexpr std::uintptr_t kBlockBytes = 16;

// `block` is aligned to kBlockBytes, so that reading it never crosses into another page: a line's
// blocks may reach past its ends, but not past a page or the buffer (padded) it lies in.
inline BlockMasks MasksOf(const char* block, char separator) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    return {
        static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(separator)))),
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'))))};
#else
    BlockMasks masks;
    for (std::uint32_t i = 0; i < kBlockBytes; ++i) {
        masks.separators |= static_cast<std::uint32_t>(block[i] == separator) << i;
        masks.quotes |= static_cast<std::uint32_t>(block[i] == '"') << i;
    }
    return masks;
#endif
}

}  // namespace taglist
