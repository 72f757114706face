// Sorting doubles together with the permutation that sorts them, without the
// interpreter. Each value's order key and its position share one 64-bit word,
// which a least-significant-digit radix sort orders: a fixed number of
// sequential passes whatever the values (no pivot to defeat, no cost that grows
// with disorder), skipping the digits every word shares.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace pykesta {

// An unsigned integer whose order is the numeric order of the doubles: -0.0
// just below +0.0, and every NaN (either sign, any payload) above +inf.
inline uint64_t sort_key(double x) {
    if (x != x) return UINT64_MAX;
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits >> 63 ? ~bits : bits | uint64_t{1} << 63;
}

// Sorts words[0 .. m-1] by their bits from `low_bit` up; the lower bits ride
// along, in any order among words whose sorted bits are equal. work holds m words.
inline void radix_sort(uint64_t* words, uint64_t* work, uint32_t m, int low_bit) {
    // Nine-bit digits: five passes over the 43 bits above the positions of a
    // million values, with few enough buckets that the scattered writes stay cached.
    constexpr int digit_bits = 9;
    constexpr uint32_t radix = uint32_t{1} << digit_bits;
    constexpr uint32_t few = 32; // below this, counting costs more than it saves
    if (m < few) {
        for (uint32_t i = 1; i < m; ++i)
            for (uint32_t j = i; j > 0 && words[j - 1] > words[j]; --j)
                std::swap(words[j - 1], words[j]);
        return;
    }
    low_bit = std::clamp(low_bit, 0, 63);
    const int digits = (64 - low_bit + digit_bits - 1) / digit_bits;
    std::array<std::array<uint32_t, radix>, (64 + digit_bits - 1) / digit_bits> counts{};
    for (uint32_t i = 0; i < m; ++i)
        for (int d = 0; d < digits; ++d)
            ++counts[d][(words[i] >> (low_bit + d * digit_bits)) & (radix - 1)];
    uint64_t* from = words;
    uint64_t* to = work;
    for (int d = 0; d < digits; ++d) {
        const int shift = low_bit + d * digit_bits;
        std::array<uint32_t, radix>& next = counts[d];
        if (next[(from[0] >> shift) & (radix - 1)] == m) continue; // the same digit everywhere
        for (uint32_t b = 0, start = 0; b < radix; ++b) start += std::exchange(next[b], start);
        for (uint32_t i = 0; i < m; ++i) to[next[(from[i] >> shift) & (radix - 1)]++] = from[i];
        std::swap(from, to);
    }
    if (from != words) std::memcpy(words, from, sizeof(uint64_t) * m);
}

// Bits that hold a position below m in the words of sort_with_order.
inline int position_bits(uint32_t m) { return std::max(1, static_cast<int>(std::bit_width(m))); }

// Writes values[0 .. m-1] in increasing order (NaN last) to sorted, and leaves
// in the low position_bits(m) bits of order[i] the position in values of
// sorted[i]. work holds m words; values, sorted, order and work do not overlap.
inline void sort_with_order(const double* values, uint32_t m, double* sorted, uint64_t* order,
                            uint64_t* work) {
    const int bits = position_bits(m);
    const uint64_t position = (uint64_t{1} << bits) - 1;
    for (uint32_t i = 0; i < m; ++i) order[i] = (sort_key(values[i]) & ~position) | i;
    radix_sort(order, work, m, bits);
    // Values whose keys differ only in the bits the positions took are next to
    // each other: order each such run by those bits.
    for (uint32_t begin = 0, end; begin < m; begin = end) {
        const uint64_t shared = order[begin] & ~position;
        for (end = begin + 1; end < m && (order[end] & ~position) == shared;) ++end;
        if (end - begin == 1) continue;
        const uint32_t count = end - begin;
        for (uint32_t j = 0; j < count; ++j) {
            const uint64_t at = order[begin + j] & position;
            work[j] = (sort_key(values[at]) & position) << bits | at;
        }
        radix_sort(work, order + begin, count, bits);
        for (uint32_t j = 0; j < count; ++j) order[begin + j] = shared | (work[j] & position);
    }
    for (uint32_t i = 0; i < m; ++i) sorted[i] = values[order[i] & position];
}

// The inverse of the permutation: out[p] = sorted[i] for the position p that
// order[i] holds (as sort_with_order left it).
inline void restore_order(const double* sorted, const uint64_t* order, uint32_t m, double* out) {
    const uint64_t position = (uint64_t{1} << position_bits(m)) - 1;
    for (uint32_t i = 0; i < m; ++i) {
        const uint64_t at = order[i] & position;
        if (at < m) out[at] = sorted[i];
    }
}

} // namespace pykesta
