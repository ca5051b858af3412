// The inner loops of the hex format and of the word checks in the widest
// vectors the processor offers (chosen at run time), for words of up to 32
// bits (1 to 8 hex digits a line). Every step is the plain one applied lane
// by lane, so the bytes and words are the same on every instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel::lanes {

// Index of the first word outside [lo, lo + 2^width) (width 1..63), or n.
std::size_t first_outside(const std::int64_t *words, std::size_t n, std::int64_t lo, int width);

// Writes n lines of `digits` (1..8) lower-case hex digits and a line feed,
// the low bits of each word's pattern (`mask`), at out: n * (digits + 1)
// bytes, and up to 8 bytes beyond them are overwritten.
void format_hex(const std::int64_t *words, std::size_t n, std::uint64_t mask, int digits, char *out);

// Decodes lines of `digits` (1..8) hex digits each ended by a line feed, as
// many whole lines as leave 9 readable bytes from the start of the last one
// within `bytes`, into words (two's complement when is_signed). Returns the
// number of lines decoded; `wrong` gets bits set when a line is anything
// else, `high` when a value has bits at or above `width`.
std::size_t parse_hex(const unsigned char *text, std::size_t bytes, int digits, int width, bool is_signed,
                      std::int64_t *words, std::uint64_t &wrong, std::uint64_t &high);

}  // namespace zel::lanes
