// Words and doubles both ways, in the widest vectors the processor offers
// (chosen at run time). Words are integers of at most 48 bits, so every
// conversion is exact.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelpy {

// dst[k] = src[k] for k < len; returns nonzero when a word lies outside
// [lo, lo + 2^width) (the doubles are written regardless).
std::uint64_t words_to_doubles(const std::int64_t *src, double *dst, std::size_t len, std::int64_t lo, int width);

// dst[k] = src[k] for k < len, the doubles being whole numbers below 2^51 in
// magnitude. `stream`: the words go to memory around the caches (results far
// larger than them), and are visible to other threads only after a fence
// (stream_fence).
// The same between two word arrays (x, y) and count interleaved pairs
// (2 * count doubles); words_to_pairs checks both arrays.
std::uint64_t words_to_pairs(const std::int64_t *x, const std::int64_t *y, double *pairs, std::size_t count,
                             std::int64_t lo, int width);
void pairs_to_words(const double *pairs, std::int64_t *x, std::int64_t *y, std::size_t count, bool stream);

void doubles_to_words(const double *src, std::int64_t *dst, std::size_t len, bool stream);
void stream_fence();

}  // namespace zelpy
