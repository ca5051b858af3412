// Compiled once per instruction set (Highway's foreach_target). A hex line
// of up to eight digits is one 64-bit lane: the digits are spread a nibble
// a byte and shifted to their characters (or back) with the same branch-free
// arithmetic as the plain loops, eight bytes a lane, as many lanes a vector
// as the processor holds. Lines go in and out of the lanes through a small
// block, as their length is not a whole number of bytes of a vector.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "vector_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "vector_lanes.h"

#include <bit>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace zel::lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DU = hn::ScalableTag<std::uint64_t>;
using VU = hn::Vec<DU>;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::size_t kBlock = 64;  // lines per block: a multiple of every vector's lanes

std::size_t FirstOutside(const std::int64_t *HWY_RESTRICT words, std::size_t n, std::int64_t lo, int width) {
  const DU du;
  const std::size_t lanes = hn::Lanes(du);
  const auto vlo = hn::Set(du, static_cast<std::uint64_t>(lo));
  const auto *u = reinterpret_cast<const std::uint64_t *>(words);
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    auto outside = hn::Zero(du);
    for (std::size_t k = 0; k < kBlock; k += lanes)
      outside = hn::Or(outside, hn::ShiftRightSame(hn::Sub(hn::LoadU(du, u + i + k), vlo), width));
    if (!hn::AllTrue(du, hn::Eq(outside, hn::Zero(du)))) break;  // the word is found below
  }
  for (; i < n; ++i)
    if ((u[i] - static_cast<std::uint64_t>(lo)) >> width) return i;
  return n;
}

// Bytes of each 64-bit lane in reverse order.
HWY_INLINE VU ReverseLaneBytes(VU v) {
#if HWY_TARGET == HWY_SCALAR
  return hn::Set(DU(), __builtin_bswap64(hn::GetLane(v)));  // one lane, no bytes to shuffle
#else
  const hn::Repartition<std::uint8_t, DU> d8;
  alignas(16) static constexpr std::uint8_t kReverse[16] = {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8};
  const auto table = hn::LoadDup128(d8, kReverse);
  return hn::BitCast(DU(), hn::TableLookupBytes(hn::BitCast(d8, v), table));
#endif
}

template <int D>
void FormatHexLines(const std::int64_t *HWY_RESTRICT words, std::size_t n, std::uint64_t mask, char *HWY_RESTRICT out) {
  const DU du;
  const std::size_t lanes = hn::Lanes(du);
  const auto vmask = hn::Set(du, mask & 0xffffffffu);
  const auto m16 = hn::Set(du, 0x0000ffff0000ffffull), m8 = hn::Set(du, 0x00ff00ff00ff00ffull);
  const auto m4 = hn::Set(du, 0x0f0f0f0f0f0f0f0full), ones = hn::Set(du, kOnes);
  const auto six = hn::Set(du, kOnes * 6), zero_chars = hn::Set(du, kOnes * '0');
  const auto newline = hn::Set(du, D < 8 ? std::uint64_t{'\n'} << (8 * D) : 0);
  alignas(64) std::uint64_t block[kBlock], rest[kBlock];
  const auto *u = reinterpret_cast<const std::uint64_t *>(words);
  for (std::size_t i = 0; i < n; i += kBlock) {
    const std::size_t m = n - i < kBlock ? n - i : kBlock;
    for (std::size_t k = 0; k < m; k += lanes) {
      // The last vector of a short block from a padded copy: nothing past the words is read.
      const std::uint64_t *src = u + i + k;
      if (m - k < lanes) {
        std::memset(rest, 0, lanes * 8);
        src = static_cast<const std::uint64_t *>(std::memcpy(rest, src, (m - k) * 8));
      }
      auto x = hn::And(hn::LoadU(du, src), vmask);
      x = hn::And(hn::Or(x, hn::ShiftLeft<16>(x)), m16);
      x = hn::And(hn::Or(x, hn::ShiftLeft<8>(x)), m8);
      x = hn::And(hn::Or(x, hn::ShiftLeft<4>(x)), m4);
      // 10..15 take 'a' - '0' - 10 = 39 more: 32 + 4 + 2 + 1 times the letter bit.
      const auto letters = hn::And(hn::ShiftRight<4>(hn::Add(x, six)), ones);
      const auto extra = hn::Add(hn::Add(hn::ShiftLeft<5>(letters), hn::ShiftLeft<2>(letters)),
                                 hn::Add(hn::ShiftLeft<1>(letters), letters));
      x = ReverseLaneBytes(hn::Add(x, hn::Add(zero_chars, extra)));
      hn::Store(hn::Or(hn::ShiftRight<8 * (8 - D)>(x), newline), du, block + k);
    }
    char *o = out + i * (D + 1);
    for (std::size_t k = 0; k < m; ++k, o += D + 1) {
      std::memcpy(o, block + k, 8);
      if constexpr (D == 8) o[8] = '\n';
    }
  }
}

template <int D>
std::size_t ParseHexLines(const unsigned char *HWY_RESTRICT text, std::size_t bytes, int width, bool is_signed,
                          std::int64_t *HWY_RESTRICT words, std::uint64_t &wrong, std::uint64_t &high) {
  constexpr std::size_t kLine = D + 1;
  constexpr std::uint64_t kHigh = kOnes * 0x80;
  constexpr std::uint64_t kDigits = D == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * D)) - 1;
  if (bytes < 9) return 0;
  const std::size_t n = (bytes - 9) / kLine + 1;  // lines whose first nine bytes are readable
  const DU du;
  const hn::Rebind<std::int64_t, DU> di;
  const std::size_t lanes = hn::Lanes(du);
  const auto digits_mask = hn::Set(du, kDigits), fill = hn::Set(du, ~kDigits & (kOnes * '0'));
  const auto high_bits = hn::Set(du, kHigh), case_bit = hn::Set(du, kOnes * 0x20), low4 = hn::Set(du, kOnes * 0x0f);
  const auto d_lo = hn::Set(du, kOnes * (0x80 - '0')), d_hi = hn::Set(du, kOnes * (0x7f - '9'));
  const auto l_lo = hn::Set(du, kOnes * (0x80 - 'a')), l_hi = hn::Set(du, kOnes * (0x7f - 'f'));
  const auto m8 = hn::Set(du, 0x00ff00ff00ff00ffull), m16 = hn::Set(du, 0x0000ffff0000ffffull);
  const auto m32 = hn::Set(du, 0xffffffffull), newline = hn::Set(du, std::uint64_t{'\n'});
  const int unused = 64 - width;
  auto bad = hn::Zero(du), over = hn::Zero(du);
  std::uint64_t ends = 0;  // the ninth byte of eight-digit lines
  alignas(64) std::uint64_t block[kBlock];
  for (std::size_t i = 0; i < n; i += kBlock) {
    const std::size_t m = n - i < kBlock ? n - i : kBlock;
    const unsigned char *p = text + i * kLine;
    for (std::size_t k = 0; k < m; ++k, p += kLine) {
      std::memcpy(block + k, p, 8);
      if constexpr (D == 8) ends |= p[8] ^ std::uint64_t{'\n'};
    }
    if constexpr (std::endian::native == std::endian::big)
      for (std::size_t k = 0; k < m; ++k) block[k] = __builtin_bswap64(block[k]);
    // A short block's last vector is filled with lines of zeros.
    constexpr std::uint64_t kZeroLine = (kOnes * '0' & kDigits) | (D < 8 ? std::uint64_t{'\n'} << (8 * D) : 0);
    for (std::size_t k = m; k % lanes; ++k) block[k] = kZeroLine;
    for (std::size_t k = 0; k < m; k += lanes) {
      auto x = hn::Load(du, block + k);
      if constexpr (D < 8) bad = hn::Or(bad, hn::Xor(hn::And(hn::ShiftRight<8 * D>(x), hn::Set(du, 0xff)), newline));
      x = hn::Or(hn::And(x, digits_mask), fill);  // bytes after the digits read as '0'
      bad = hn::Or(bad, hn::And(x, high_bits));   // not ASCII
      const auto y = hn::Or(x, case_bit);         // letters in lower case
      const auto digit = hn::AndNot(hn::Add(x, d_hi), hn::And(hn::Add(x, d_lo), high_bits));
      const auto letter = hn::AndNot(hn::Add(y, l_hi), hn::And(hn::Add(y, l_lo), high_bits));
      bad = hn::Or(bad, hn::Xor(hn::Or(digit, letter), high_bits));
      // Nibble values, first digit in the top byte, then four bits a byte.
      const auto letter_bit = hn::ShiftRight<7>(letter);
      auto v = ReverseLaneBytes(hn::Add(hn::And(x, low4), hn::Add(hn::ShiftLeft<3>(letter_bit), letter_bit)));
      v = hn::ShiftRight<8 * (8 - D)>(v);
      v = hn::And(hn::Or(v, hn::ShiftRight<4>(v)), m8);
      v = hn::And(hn::Or(v, hn::ShiftRight<8>(v)), m16);
      v = hn::And(hn::Or(v, hn::ShiftRight<16>(v)), m32);
      over = hn::Or(over, hn::ShiftRightSame(v, width));
      auto w = hn::BitCast(di, v);
      if (is_signed) w = hn::ShiftRightSame(hn::ShiftLeftSame(w, unused), unused);
      if (m - k >= lanes) {
        hn::StoreU(w, di, words + i + k);
      } else {
        alignas(64) std::int64_t rest[kBlock];
        hn::Store(w, di, rest);
        std::memcpy(words + i + k, rest, (m - k) * sizeof(std::int64_t));
      }
    }
  }
  const auto zero = hn::Zero(du);
  wrong |= ends | (hn::AllTrue(du, hn::Eq(bad, zero)) ? 0 : 1);
  high |= hn::AllTrue(du, hn::Eq(over, zero)) ? 0 : 1;
  return n;
}

void FormatHex(const std::int64_t *words, std::size_t n, std::uint64_t mask, int digits, char *out) {
  switch (digits) {
    case 1: return FormatHexLines<1>(words, n, mask, out);
    case 2: return FormatHexLines<2>(words, n, mask, out);
    case 3: return FormatHexLines<3>(words, n, mask, out);
    case 4: return FormatHexLines<4>(words, n, mask, out);
    case 5: return FormatHexLines<5>(words, n, mask, out);
    case 6: return FormatHexLines<6>(words, n, mask, out);
    case 7: return FormatHexLines<7>(words, n, mask, out);
    default: return FormatHexLines<8>(words, n, mask, out);
  }
}

std::size_t ParseHex(const unsigned char *text, std::size_t bytes, int digits, int width, bool is_signed,
                     std::int64_t *words, std::uint64_t &wrong, std::uint64_t &high) {
  switch (digits) {
    case 1: return ParseHexLines<1>(text, bytes, width, is_signed, words, wrong, high);
    case 2: return ParseHexLines<2>(text, bytes, width, is_signed, words, wrong, high);
    case 3: return ParseHexLines<3>(text, bytes, width, is_signed, words, wrong, high);
    case 4: return ParseHexLines<4>(text, bytes, width, is_signed, words, wrong, high);
    case 5: return ParseHexLines<5>(text, bytes, width, is_signed, words, wrong, high);
    case 6: return ParseHexLines<6>(text, bytes, width, is_signed, words, wrong, high);
    case 7: return ParseHexLines<7>(text, bytes, width, is_signed, words, wrong, high);
    default: return ParseHexLines<8>(text, bytes, width, is_signed, words, wrong, high);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace zel::lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace zel::lanes {

HWY_EXPORT(FirstOutside);
HWY_EXPORT(FormatHex);
HWY_EXPORT(ParseHex);

std::size_t first_outside(const std::int64_t *words, std::size_t n, std::int64_t lo, int width) {
  return HWY_DYNAMIC_DISPATCH(FirstOutside)(words, n, lo, width);
}

void format_hex(const std::int64_t *words, std::size_t n, std::uint64_t mask, int digits, char *out) {
  HWY_DYNAMIC_DISPATCH(FormatHex)(words, n, mask, digits, out);
}

std::size_t parse_hex(const unsigned char *text, std::size_t bytes, int digits, int width, bool is_signed,
                      std::int64_t *words, std::uint64_t &wrong, std::uint64_t &high) {
  return HWY_DYNAMIC_DISPATCH(ParseHex)(text, bytes, digits, width, is_signed, words, wrong, high);
}

}  // namespace zel::lanes
#endif  // HWY_ONCE
