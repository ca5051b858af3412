#include "vectors.h"

#include "vector_lanes.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace zel {

namespace {

using u128 = unsigned __int128;

[[noreturn]] void fail(const std::string &file, std::size_t line, const std::string &text) {
  throw VectorError(file + ":" + std::to_string(line) + ": " + text);
}

[[noreturn]] void fail(const std::string &file, const std::string &text) { throw VectorError(file + ": " + text); }

// "'text'" (built by appending: GCC 12 warns falsely on literal + string).
std::string quote(std::string_view text) {
  std::string r(1, '\'');
  r.append(text);
  r.push_back('\'');
  return r;
}

std::string digest_hex(const unsigned char *digest, unsigned int length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 15]);
  }
  return hex;
}

std::string spec_text(WordSpec wfmt) {
  return std::to_string(wfmt.width) + "-bit " + (wfmt.is_signed ? "signed" : "unsigned");
}

// The word's bit pattern in the low `width` bits.
std::uint64_t pattern(std::int64_t w, int width) {
  return static_cast<std::uint64_t>(w) & ((std::uint64_t{1} << width) - 1);
}

// The word a pattern of `width` bits stands for.
std::int64_t from_pattern(std::uint64_t p, WordSpec wfmt) {
  if (wfmt.is_signed && (p >> (wfmt.width - 1)) & 1) return static_cast<std::int64_t>(p | ~((std::uint64_t{1} << wfmt.width) - 1));
  return static_cast<std::int64_t>(p);
}

void append_hex(std::string &out, u128 value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char buf[40];
  for (int i = digits - 1; i >= 0; --i) {
    buf[i] = kDigits[static_cast<unsigned>(value & 15)];
    value >>= 4;
  }
  out.append(buf, static_cast<std::size_t>(digits));
  out.push_back('\n');
}

void check_words(std::span<const std::int64_t> words, WordSpec wfmt) {
  const std::size_t i = lanes::first_outside(words.data(), words.size(), word_min(wfmt), wfmt.width);
  if (i < words.size())
    throw std::invalid_argument("word " + std::to_string(i) + " (" + std::to_string(words[i]) + ") does not fit " +
                                spec_text(wfmt));
}

// Calls take(token, line) for each hex token of $readmemh text; comments,
// blank lines and separators are skipped.
template <class Take>
void scan_hex(std::string_view text, const std::string &file, Take take) {
  std::size_t line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') {
      ++line, ++i;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const std::size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) fail(file, line, "unterminated /* comment");
      line += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(i),
                                                  text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
      i = end + 2;
    } else {
      std::size_t j = i;
      while (j < text.size() && text[j] != '\n' && text[j] != ' ' && text[j] != '\t' && text[j] != '\r' &&
             !(text[j] == '/' && j + 1 < text.size() && (text[j + 1] == '/' || text[j + 1] == '*')))
        ++j;
      take(text.substr(i, j - i), line);
      i = j;
    }
  }
}

// The value of a hex token of at most `bits` bits.
u128 parse_hex_token(std::string_view token, int bits, const std::string &file, std::size_t line) {
  if (token[0] == '@') fail(file, line, "address " + std::string(token) + " not supported: words must follow each other from address 0");
  u128 value = 0;
  bool any = false;
  for (char c : token) {
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else if (c == '_') {
      continue;
    } else if (c == 'x' || c == 'X' || c == 'z' || c == 'Z') {
      fail(file, line, "word " + quote(token) + " has unknown (x or z) bits");
    } else {
      fail(file, line, quote(token) + " is not a hex word");
    }
    if (value >> (bits + 4 > 124 ? 124 : bits + 4)) fail(file, line, "word " + quote(token) + " is wider than " + std::to_string(bits) + " bits");
    value = value * 16 + d;
    any = true;
  }
  if (!any) fail(file, line, quote(token) + " is not a hex word");
  if (value >> bits) fail(file, line, "word " + quote(token) + " is wider than " + std::to_string(bits) + " bits");
  return value;
}

}  // namespace

void check_word_format(WordSpec wfmt) {
  if (wfmt.width < 1 || wfmt.width > 63)
    throw std::invalid_argument("word width " + std::to_string(wfmt.width) + " outside 1..63");
}

std::int64_t word_min(WordSpec wfmt) { return wfmt.is_signed ? -(std::int64_t{1} << (wfmt.width - 1)) : 0; }

std::int64_t word_max(WordSpec wfmt) {
  return wfmt.is_signed ? (std::int64_t{1} << (wfmt.width - 1)) - 1 : (std::int64_t{1} << wfmt.width) - 1;
}

int hex_digits(int bits) { return (bits + 3) / 4; }

// ---- hex ----

namespace {

// Calls f(std::integral_constant<int, D>) for the run-time digit count d
// (1..16), so that the per-word loops have a fixed length.
template <class F>
decltype(auto) with_digits(int d, F &&f) {
  switch (d) {
#define ZEL_DIGITS(D) \
  case D:             \
    return f(std::integral_constant<int, D>{});
    ZEL_DIGITS(1) ZEL_DIGITS(2) ZEL_DIGITS(3) ZEL_DIGITS(4) ZEL_DIGITS(5) ZEL_DIGITS(6) ZEL_DIGITS(7) ZEL_DIGITS(8)
    ZEL_DIGITS(9) ZEL_DIGITS(10) ZEL_DIGITS(11) ZEL_DIGITS(12) ZEL_DIGITS(13) ZEL_DIGITS(14) ZEL_DIGITS(15)
    default: return f(std::integral_constant<int, 16>{});
#undef ZEL_DIGITS
  }
}

}  // namespace

namespace {

// The eight hex digits of the low 32 bits of p as ASCII bytes, most
// significant digit in the lowest byte (first in memory): each nibble is
// spread into a byte of its own, then 0..9 and 10..15 are shifted to their
// characters without a branch or a table.
inline std::uint64_t hex8(std::uint64_t p) {
  std::uint64_t x = p & 0xffffffffu;
  x = (x | x << 16) & 0x0000ffff0000ffffull;
  x = (x | x << 8) & 0x00ff00ff00ff00ffull;
  x = (x | x << 4) & 0x0f0f0f0f0f0f0f0full;
  const std::uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
  x += 0x3030303030303030ull + letters * ('a' - '0' - 10);
  return __builtin_bswap64(x);
}

// Writes the D-digit line of pattern p at o. Up to 16 bytes from o are
// written; the caller leaves that much room after the last line.
template <int D>
inline void put_hex_line(char *o, std::uint64_t p) {
  if constexpr (D > 8) {
    const std::uint64_t hi = hex8(p >> 32) >> (8 * (16 - D)), lo = hex8(p);
    std::memcpy(o, &hi, 8);
    std::memcpy(o + (D - 8), &lo, 8);
  } else {
    const std::uint64_t v = hex8(p) >> (8 * (8 - D));
    std::memcpy(o, &v, 8);
  }
  o[D] = '\n';
}

// Appends the words (already checked) as hex lines.
void append_hex_words(std::string &out, std::span<const std::int64_t> words, WordSpec wfmt) {
  const int digits = hex_digits(wfmt.width);
  const std::uint64_t mask = (std::uint64_t{1} << wfmt.width) - 1;
  const std::size_t start = out.size();
  const std::size_t size = start + words.size() * static_cast<std::size_t>(digits + 1);
  out.resize(size + 16);  // room for the last line's wide stores
  if (digits <= 8) {
    lanes::format_hex(words.data(), words.size(), mask, digits, out.data() + start);
    out.resize(size);
    return;
  }
  with_digits(digits, [&](auto d) {
    constexpr int D = decltype(d)::value;
    char *o = out.data() + start;
    for (std::int64_t w : words) {
      put_hex_line<D>(o, static_cast<std::uint64_t>(w) & mask);
      o += D + 1;
    }
  });
  out.resize(size);
}

}  // namespace

std::string hex_text(std::span<const std::int64_t> words, WordSpec wfmt) {
  check_word_format(wfmt);
  check_words(words, wfmt);
  std::string out;
  append_hex_words(out, words, wfmt);
  return out;
}

std::string hex_packed_text(std::span<const std::int64_t> re, std::span<const std::int64_t> im, WordSpec wfmt) {
  check_word_format(wfmt);
  if (re.size() != im.size())
    throw std::invalid_argument("packed words need as many imaginary as real parts (" + std::to_string(im.size()) +
                                " and " + std::to_string(re.size()) + ")");
  check_words(re, wfmt);
  check_words(im, wfmt);
  const int digits = hex_digits(2 * wfmt.width);
  std::string out;
  out.reserve(re.size() * static_cast<std::size_t>(digits + 1));
  for (std::size_t i = 0; i < re.size(); ++i)
    append_hex(out, (u128{pattern(im[i], wfmt.width)} << wfmt.width) | pattern(re[i], wfmt.width), digits);
  return out;
}

namespace {

// Value of a hex digit, -1 for anything else.
constexpr std::array<signed char, 256> kHexValue = [] {
  std::array<signed char, 256> t{};
  for (auto &v : t) v = -1;
  for (int c = '0'; c <= '9'; ++c) t[static_cast<std::size_t>(c)] = static_cast<signed char>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) t[static_cast<std::size_t>(c)] = static_cast<signed char>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) t[static_cast<std::size_t>(c)] = static_cast<signed char>(c - 'A' + 10);
  return t;
}();

// The common layout (as written here: every line exactly the word's digits
// and a line feed) decoded in one pass; false, with nothing decided, for
// anything else, which the general scanner then reads and judges.
// The value of the D <= 8 hex digits of a line at p, eight bytes read at
// once (8 readable bytes from p): every byte is classified as a digit or a
// letter of either case in one go, without a branch or a table. `wrong`
// gets bits set for anything else, or for a line not ended by a line feed.
template <int D>
inline std::uint64_t hex_line8(const unsigned char *p, std::uint64_t &wrong) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = kOnes * 0x80;
  constexpr std::uint64_t kDigits = D == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * D)) - 1;
  std::uint64_t x;
  std::memcpy(&x, p, 8);
  if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
  if constexpr (D < 8) wrong |= ((x >> (8 * D)) & 0xff) ^ '\n';
  else wrong |= p[8] ^ '\n';
  x = (x & kDigits) | (~kDigits & kOnes * '0');  // bytes after the digits read as '0'
  wrong |= x & kHigh;  // not ASCII (the sums below then carry, but the line is refused anyway)
  const std::uint64_t y = x | kOnes * 0x20;  // letters in lower case
  const std::uint64_t digit = (x + kOnes * (0x80 - '0')) & ~(x + kOnes * (0x7f - '9')) & kHigh;
  const std::uint64_t letter = (y + kOnes * (0x80 - 'a')) & ~(y + kOnes * (0x7f - 'f')) & kHigh;
  wrong |= (digit | letter) ^ kHigh;
  // Nibble values, first digit in the top byte, then packed four bits a byte.
  std::uint64_t v = __builtin_bswap64((x & kOnes * 0x0f) + (letter >> 7) * 9) >> (8 * (8 - D));
  v = (v | v >> 4) & 0x00ff00ff00ff00ffull;
  v = (v | v >> 8) & 0x0000ffff0000ffffull;
  return (v | v >> 16) & 0xffffffffull;
}

// `words` has room for every line; on false its contents are unspecified.
bool parse_hex_plain_into(std::string_view text, WordSpec wfmt, std::int64_t *words) {
  const int digits = hex_digits(wfmt.width);
  if (text.size() % static_cast<std::size_t>(digits + 1) != 0) return false;
  const std::size_t n = text.size() / static_cast<std::size_t>(digits + 1);
  const int unused = 64 - wfmt.width;
  return with_digits(digits, [&](auto d) {
    constexpr int D = decltype(d)::value;
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    int bad = 0;
    std::uint64_t high = 0;
    std::size_t i = 0;
    if constexpr (D <= 8) {
      std::uint64_t wrong = 0;
      i = lanes::parse_hex(p, static_cast<std::size_t>(end - p), D, wfmt.width, wfmt.is_signed, words, wrong, high);
      p += i * (D + 1);
      for (; i < n && end - p >= 8; ++i, p += D + 1) {
        const std::uint64_t v = hex_line8<D>(p, wrong);
        high |= v >> wfmt.width;
        words[i] = wfmt.is_signed ? static_cast<std::int64_t>(v << unused) >> unused : static_cast<std::int64_t>(v);
      }
      if (wrong) return false;
    }
    for (; i < n; ++i, p += D + 1) {
      std::uint64_t v = 0;
      for (int k = 0; k < D; ++k) {
        const int h = kHexValue[p[k]];
        bad |= h;
        v = v << 4 | static_cast<std::uint64_t>(h & 15);
      }
      bad |= p[D] == '\n' ? 0 : -1;
      high |= v >> wfmt.width;
      words[i] = wfmt.is_signed ? static_cast<std::int64_t>(v << unused) >> unused : static_cast<std::int64_t>(v);
    }
    return bad >= 0 && high == 0;
  });
}

bool parse_hex_plain(std::string_view text, WordSpec wfmt, std::vector<std::int64_t> &words) {
  const auto line = static_cast<std::size_t>(hex_digits(wfmt.width) + 1);
  if (text.size() % line != 0) return false;
  words.resize(text.size() / line);
  return parse_hex_plain_into(text, wfmt, words.data());
}

}  // namespace

std::vector<std::int64_t> parse_hex(std::string_view text, WordSpec wfmt, const std::string &file) {
  check_word_format(wfmt);
  std::vector<std::int64_t> words;
  if (parse_hex_plain(text, wfmt, words)) return words;
  words.clear();
  scan_hex(text, file, [&](std::string_view token, std::size_t line) {
    words.push_back(from_pattern(static_cast<std::uint64_t>(parse_hex_token(token, wfmt.width, file, line)), wfmt));
  });
  return words;
}

void parse_hex_packed(std::string_view text, WordSpec wfmt, const std::string &file, std::vector<std::int64_t> &re,
                      std::vector<std::int64_t> &im) {
  check_word_format(wfmt);
  re.clear();
  im.clear();
  const u128 mask = (u128{1} << wfmt.width) - 1;
  scan_hex(text, file, [&](std::string_view token, std::size_t line) {
    const u128 v = parse_hex_token(token, 2 * wfmt.width, file, line);
    re.push_back(from_pattern(static_cast<std::uint64_t>(v & mask), wfmt));
    im.push_back(from_pattern(static_cast<std::uint64_t>(v >> wfmt.width), wfmt));
  });
}

// ---- .npy ----

namespace {

std::string npy_header(std::size_t words, const std::vector<std::size_t> &shape) {
  std::size_t count = 1;
  for (std::size_t d : shape) count *= d;
  if (count != words)
    throw std::invalid_argument("array shape holds " + std::to_string(count) + " values, given " +
                                std::to_string(words));
  std::string header = "{'descr': '<i8', 'fortran_order': False, 'shape': (";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    header += std::to_string(shape[i]);
    if (shape.size() == 1) header += ',';
    else if (i + 1 < shape.size()) header += ", ";
  }
  header += "), }";
  // Magic (6) + version (2) + length (2) + header, padded with blanks to a
  // multiple of 64 and ended by a line feed.
  const std::size_t total = (10 + header.size() + 1 + 63) / 64 * 64;
  header.append(total - 10 - header.size() - 1, ' ');
  header.push_back('\n');
  std::string out("\x93NUMPY\x01\x00", 8);
  out.push_back(static_cast<char>(header.size() & 0xff));
  out.push_back(static_cast<char>(header.size() >> 8));
  return out + header;
}

void append_npy_data(std::string &out, std::span<const std::int64_t> words) {
  const std::size_t start = out.size();
  out.resize(start + words.size() * 8);
  char *o = out.data() + start;
  for (std::int64_t w : words) {
    const auto u = static_cast<std::uint64_t>(w);
    for (int b = 0; b < 8; ++b) *o++ = static_cast<char>(u >> (8 * b));
  }
}

}  // namespace

std::string npy_bytes(std::span<const std::int64_t> words, const std::vector<std::size_t> &shape) {
  std::string out = npy_header(words.size(), shape);
  append_npy_data(out, words);
  return out;
}

namespace {

// The value text after 'key': in a .npy header dict.
std::string_view npy_field(std::string_view header, std::string_view key, const std::string &file) {
  const std::string quoted = quote(key);
  std::size_t p = header.find(quoted);
  if (p == std::string_view::npos) fail(file, "not a .npy file: its header has no " + quoted);
  p = header.find(':', p + quoted.size());
  if (p == std::string_view::npos) fail(file, "not a .npy file: malformed header");
  ++p;
  while (p < header.size() && header[p] == ' ') ++p;
  return header.substr(p);
}

}  // namespace

namespace {

// What a .npy header says: element type, shape and where the data start.
struct NpyLayout {
  std::vector<std::size_t> shape;
  std::size_t count = 1;
  std::size_t size = 8;  // bytes per element
  bool is_signed = true;
  std::size_t data_start = 0;
};

[[noreturn]] void truncated_npy(const std::string &file, std::size_t count, std::size_t available) {
  fail(file, "truncated: the header announces " + std::to_string(count) + " values, the file holds " +
                 std::to_string(available));
}

// `bytes` holds at least the whole header.
NpyLayout npy_layout(std::string_view bytes, const std::string &file) {
  if (bytes.size() < 10 || bytes.substr(0, 6) != std::string_view("\x93NUMPY", 6))
    fail(file, "not a .npy file (no \\x93NUMPY magic)");
  const auto major = static_cast<unsigned char>(bytes[6]);
  std::size_t header_len, header_start;
  if (major == 1) {
    header_len = static_cast<unsigned char>(bytes[8]) | static_cast<std::size_t>(static_cast<unsigned char>(bytes[9])) << 8;
    header_start = 10;
  } else if (major == 2 || major == 3) {
    if (bytes.size() < 12) fail(file, "truncated .npy header");
    header_len = 0;
    for (int b = 3; b >= 0; --b) header_len = header_len << 8 | static_cast<unsigned char>(bytes[8 + static_cast<std::size_t>(b)]);
    header_start = 12;
  } else {
    fail(file, ".npy format version " + std::to_string(major) + " not supported");
  }
  if (bytes.size() < header_start + header_len) fail(file, "truncated .npy header");
  const std::string_view header = bytes.substr(header_start, header_len);

  std::string_view descr = npy_field(header, "descr", file);
  if (descr.empty() || (descr[0] != '\'' && descr[0] != '"')) fail(file, "malformed .npy header (descr)");
  descr = descr.substr(1, descr.find(descr[0], 1) - 1);
  if (descr.size() != 3 || (descr[1] != 'i' && descr[1] != 'u') || (descr[0] == '>' && descr[2] != '1'))
    fail(file, "element type " + quote(descr) + " is not a little-endian integer (expected '<i8')");
  NpyLayout layout;
  layout.is_signed = descr[1] == 'i';
  layout.size = static_cast<std::size_t>(descr[2] - '0');
  if (layout.size != 1 && layout.size != 2 && layout.size != 4 && layout.size != 8)
    fail(file, "element type " + quote(descr) + " is not a little-endian integer (expected '<i8')");
  if (npy_field(header, "fortran_order", file).substr(0, 5) != "False")
    fail(file, "Fortran-ordered arrays not supported (save with C order)");

  std::string_view shape = npy_field(header, "shape", file);
  if (shape.empty() || shape[0] != '(') fail(file, "malformed .npy header (shape)");
  const std::size_t close = shape.find(')');
  if (close == std::string_view::npos) fail(file, "malformed .npy header (shape)");
  shape = shape.substr(1, close - 1);
  for (std::size_t p = 0; p < shape.size();) {
    while (p < shape.size() && (shape[p] == ' ' || shape[p] == ',')) ++p;
    if (p == shape.size()) break;
    std::size_t d = 0;
    auto [end, ec] = std::from_chars(shape.data() + p, shape.data() + shape.size(), d);
    if (ec != std::errc()) fail(file, "malformed .npy header (shape)");
    layout.shape.push_back(d);
    if (d != 0 && layout.count > std::numeric_limits<std::size_t>::max() / 8 / d) fail(file, "array too large");
    layout.count *= d;
    p = static_cast<std::size_t>(end - shape.data());
  }
  layout.data_start = header_start + header_len;
  return layout;
}

}  // namespace

NpyArray parse_npy(std::string_view bytes, const std::string &file) {
  const NpyLayout layout = npy_layout(bytes, file);
  const std::size_t count = layout.count, size = layout.size;
  const std::size_t available = (bytes.size() - layout.data_start) / size;
  if (available < count) truncated_npy(file, count, available);
  NpyArray array;
  array.shape = layout.shape;
  array.data.resize(count);
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + layout.data_start);
  for (std::size_t i = 0; i < count; ++i, p += size) {
    std::uint64_t u = 0;
    for (std::size_t b = size; b-- > 0;) u = u << 8 | p[b];
    if (layout.is_signed && size < 8 && (u >> (8 * size - 1)) & 1) u |= ~std::uint64_t{0} << (8 * size);
    if (!layout.is_signed && size == 8 && u >> 63)
      fail(file, "value " + std::to_string(u) + " at flat index " + std::to_string(i) + " does not fit int64");
    array.data[i] = static_cast<std::int64_t>(u);
  }
  return array;
}

// ---- CSV ----

const std::vector<std::int64_t> *CsvTable::column(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return &columns[i];
  return nullptr;
}

namespace {

std::size_t csv_rows(const CsvTable &table) {
  if (table.columns.size() != table.names.size())
    throw std::invalid_argument("CSV table with " + std::to_string(table.names.size()) + " names and " +
                                std::to_string(table.columns.size()) + " columns");
  const std::size_t rows = table.columns.empty() ? 0 : table.columns[0].size();
  for (const auto &c : table.columns)
    if (c.size() != rows) throw std::invalid_argument("CSV columns of different lengths");
  return rows;
}

void append_csv_header(std::string &out, const CsvTable &table) {
  for (std::size_t i = 0; i < table.names.size(); ++i) {
    if (i) out.push_back(',');
    out += table.names[i];
  }
  out.push_back('\n');
}

// Most bytes a row can take: 20 characters and a separator per value.
std::size_t csv_row_room(const CsvTable &table) { return table.columns.size() * 21 + 1; }

// Writes rows first..last-1 at o (room for csv_row_room() bytes a row);
// returns the end.
char *put_csv_rows(char *o, const CsvTable &table, std::size_t first, std::size_t last) {
  for (std::size_t r = first; r < last; ++r) {
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
      if (c) *o++ = ',';
      o = std::to_chars(o, o + 20, table.columns[c][r]).ptr;
    }
    *o++ = '\n';
  }
  return o;
}

void append_csv_rows(std::string &out, const CsvTable &table, std::size_t first, std::size_t last) {
  const std::size_t at = out.size();
  out.resize(at + (last - first) * csv_row_room(table));
  out.resize(static_cast<std::size_t>(put_csv_rows(out.data() + at, table, first, last) - out.data()));
}

}  // namespace

std::string csv_text(const CsvTable &table) {
  const std::size_t rows = csv_rows(table);
  std::string out;
  append_csv_header(out, table);
  append_csv_rows(out, table, 0, rows);
  return out;
}

CsvTable parse_csv(std::string_view text, const std::string &file) {
  CsvTable table;
  std::size_t line = 0;
  std::size_t pos = 0;
  bool header = true;
  std::vector<std::string_view> fields;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view row = text.substr(pos, end - pos);
    pos = end + 1;
    ++line;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (row.find_first_not_of(" \t") == std::string_view::npos) continue;
    fields.clear();
    for (std::size_t p = 0;;) {
      const std::size_t comma = row.find(',', p);
      std::string_view f = row.substr(p, comma == std::string_view::npos ? std::string_view::npos : comma - p);
      while (!f.empty() && (f.front() == ' ' || f.front() == '\t')) f.remove_prefix(1);
      while (!f.empty() && (f.back() == ' ' || f.back() == '\t')) f.remove_suffix(1);
      fields.push_back(f);
      if (comma == std::string_view::npos) break;
      p = comma + 1;
    }
    if (header) {
      for (auto f : fields) {
        if (f.empty()) fail(file, line, "empty column name in the header line");
        table.names.emplace_back(f);
      }
      table.columns.resize(fields.size());
      header = false;
      continue;
    }
    if (fields.size() != table.names.size())
      fail(file, line, "expected " + std::to_string(table.names.size()) + " values, found " +
                           std::to_string(fields.size()));
    for (std::size_t c = 0; c < fields.size(); ++c) {
      std::string_view f = fields[c];
      if (!f.empty() && f[0] == '+') f.remove_prefix(1);
      std::int64_t v = 0;
      auto [ptr, ec] = std::from_chars(f.data(), f.data() + f.size(), v);
      if (f.empty() || ec != std::errc() || ptr != f.data() + f.size())
        fail(file, line, "column " + table.names[c] + ": " + quote(fields[c]) + " is not an integer" +
                             (ec == std::errc::result_out_of_range ? " of 64 bits" : ""));
      table.columns[c].push_back(v);
    }
  }
  if (header) fail(file, "empty CSV file (no header line)");
  return table;
}

// ---- files ----

namespace {

// An open file descriptor, closed on every path.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; the close's own error (a deferred write error) as errno, -1.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

Fd open_for_reading(const std::string &path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) fail(path, std::string("cannot read: ") + std::strerror(errno));
  return Fd(fd);
}

// Reads up to n bytes (fewer only at the end of the file).
std::size_t read_some(int fd, char *p, std::size_t n, const std::string &path) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t k = ::read(fd, p + got, std::min<std::size_t>(n - got, std::size_t{1} << 30));
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) fail(path, std::string("cannot read: ") + std::strerror(errno));
    if (k == 0) break;
    got += static_cast<std::size_t>(k);
  }
  return got;
}

void write_all(int fd, const char *p, std::size_t n, const std::string &path) {
  while (n > 0) {
    const ssize_t k = ::write(fd, p, std::min<std::size_t>(n, std::size_t{1} << 30));
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) fail(path, std::string("cannot write: ") + std::strerror(errno));
    p += k;
    n -= static_cast<std::size_t>(k);
  }
}

// Size of a regular file, or -1 for anything else (a pipe, a terminal).
long long regular_size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

// The rest of an open file, appended to `bytes`.
void read_rest(int fd, std::string &bytes, const std::string &path) {
  const long long size = regular_size(fd);
  std::size_t chunk = size > 0 ? static_cast<std::size_t>(size) + 1 : std::size_t{1} << 16;
  for (;;) {
    const std::size_t at = bytes.size();
    bytes.resize(at + chunk);
    const std::size_t got = read_some(fd, bytes.data() + at, chunk, path);
    bytes.resize(at + got);
    if (got < chunk) return;
    chunk = std::max<std::size_t>(chunk, std::size_t{1} << 16);
  }
}

// Makes `words` hold n words. A larger array than it has is allocated
// afresh with the kernel asked for huge pages: the first touch of a fresh
// array of tens of megabytes otherwise costs one page fault per 4 KiB, more
// than decoding the words into it.
void resize_words(std::vector<std::int64_t> &words, std::size_t n) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (n > words.capacity() && n * sizeof(std::int64_t) >= 2 * kHuge) {
    std::vector<std::int64_t> fresh;
    fresh.reserve(n);
    const auto begin = reinterpret_cast<std::uintptr_t>(fresh.data());
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + n * sizeof(std::int64_t)) & ~(kHuge - 1);
    if (last > first) ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);  // a hint only
    words.swap(fresh);
  }
  words.resize(n);
}

// Text is read and decoded in pieces of about this many bytes, so that the
// whole file never sits in memory beside its words.
constexpr std::size_t kReadPiece = std::size_t{1} << 20;

}  // namespace

std::string read_file(const std::string &path) {
  Fd fd = open_for_reading(path);
  std::string bytes;
  read_rest(fd.get(), bytes, path);
  return bytes;
}

void write_file(const std::string &path, std::string_view bytes) {
  int raw;
  do raw = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  while (raw < 0 && errno == EINTR);
  if (raw < 0) fail(path, std::string("cannot write: ") + std::strerror(errno));
  Fd fd(raw);
  write_all(fd.get(), bytes.data(), bytes.size(), path);
  if (fd.close() != 0) fail(path, std::string("cannot write: ") + std::strerror(errno));
}

void read_hex_file(const std::string &path, WordSpec wfmt, std::vector<std::int64_t> &words) {
  check_word_format(wfmt);
  Fd fd = open_for_reading(path);
  const long long size = regular_size(fd.get());
  const auto line = static_cast<std::size_t>(hex_digits(wfmt.width) + 1);
  std::string text;
  if (size > 0 && static_cast<std::size_t>(size) % line == 0) {
    // The layout written here, decoded piece by piece straight into the
    // caller's array; any other layout is read whole and judged below.
    const std::size_t n = static_cast<std::size_t>(size) / line;
    resize_words(words, n);
    const std::size_t piece_lines = std::max<std::size_t>(1, kReadPiece / line);
    text.resize(piece_lines * line);
    std::size_t done = 0;
    while (done < n) {
      const std::size_t lines = std::min(piece_lines, n - done);
      const std::size_t got = read_some(fd.get(), text.data(), lines * line, path);
      if (got != lines * line || !parse_hex_plain_into(std::string_view(text.data(), got), wfmt, words.data() + done))
        break;
      done += lines;
    }
    if (done == n) return;
    // Another layout (or a file that changed while read): read it whole and
    // let the general reader judge it.
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) fail(path, std::string("cannot read: ") + std::strerror(errno));
  }
  text.clear();
  read_rest(fd.get(), text, path);
  words = parse_hex(text, wfmt, path);
}

std::vector<std::int64_t> read_hex_file(const std::string &path, WordSpec wfmt) {
  std::vector<std::int64_t> words;
  read_hex_file(path, wfmt, words);
  return words;
}

void read_npy_file(const std::string &path, NpyArray &array) {
  Fd fd = open_for_reading(path);
  // The header is at most a few kilobytes; the data follow it.
  std::string head(std::size_t{1} << 16, '\0');
  head.resize(read_some(fd.get(), head.data(), head.size(), path));
  NpyLayout layout;
  try {
    layout = npy_layout(head, path);
  } catch (const VectorError &) {  // a longer header, or no .npy file: read whole, judged whole
    read_rest(fd.get(), head, path);
    array = parse_npy(head, path);
    return;
  }
  const long long size = regular_size(fd.get());
  if (layout.size == 8 && layout.is_signed && size >= 0 && static_cast<std::size_t>(size) >= layout.data_start) {
    // Little-endian int64: the bytes are the words.
    const std::size_t available = (static_cast<std::size_t>(size) - layout.data_start) / 8;
    if (available < layout.count) truncated_npy(path, layout.count, available);
    array.shape = layout.shape;
    resize_words(array.data, layout.count);
    char *dst = reinterpret_cast<char *>(array.data.data());
    const std::size_t bytes = layout.count * 8;
    const std::size_t in_head = std::min(bytes, head.size() - std::min(head.size(), layout.data_start));
    if (in_head) std::memcpy(dst, head.data() + layout.data_start, in_head);
    if (read_some(fd.get(), dst + in_head, bytes - in_head, path) != bytes - in_head)
      fail(path, "cannot read: the file shrank while it was read");
    return;
  }
  read_rest(fd.get(), head, path);
  array = parse_npy(head, path);
}

NpyArray read_npy_file(const std::string &path) {
  NpyArray array;
  read_npy_file(path, array);
  return array;
}

CsvTable read_csv_file(const std::string &path) { return parse_csv(read_file(path), path); }

// ---- streamed writers ----

struct HashedFileWriter::Impl {
  std::string path;
  Fd fd{-1};
  EVP_MD_CTX *ctx = nullptr;
  ~Impl() { EVP_MD_CTX_free(ctx); }
};

HashedFileWriter::HashedFileWriter(const std::string &path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->ctx = EVP_MD_CTX_new();
  if (!impl_->ctx || EVP_DigestInit_ex(impl_->ctx, EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) fail(path, std::string("cannot write: ") + std::strerror(errno));
  impl_->fd.reset(fd);
}

HashedFileWriter::~HashedFileWriter() = default;

void HashedFileWriter::write(std::string_view bytes) {
  if (impl_->fd.get() < 0) throw std::logic_error("HashedFileWriter: write after finish");
  // Hashed while the piece is still in the cache, then handed to the kernel.
  if (EVP_DigestUpdate(impl_->ctx, bytes.data(), bytes.size()) != 1) throw std::bad_alloc();
  write_all(impl_->fd.get(), bytes.data(), bytes.size(), impl_->path);
}

std::string HashedFileWriter::finish() {
  if (impl_->fd.close() != 0) fail(impl_->path, std::string("cannot write: ") + std::strerror(errno));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(impl_->ctx, digest, &length) != 1) throw std::bad_alloc();
  return digest_hex(digest, length);
}

namespace {

// Words per piece: small enough to stay in cache, large enough to amortise calls.
constexpr std::size_t kPiece = 1 << 15;

}  // namespace

std::string write_hex_file(const std::string &path, std::span<const std::int64_t> words, WordSpec wfmt) {
  check_word_format(wfmt);
  check_words(words, wfmt);
  HashedFileWriter f(path);
  std::string piece;
  for (std::size_t i = 0; i < words.size(); i += kPiece) {
    piece.clear();
    append_hex_words(piece, words.subspan(i, std::min(kPiece, words.size() - i)), wfmt);
    f.write(piece);
  }
  return f.finish();
}

std::string write_hex_packed_file(const std::string &path, std::span<const std::int64_t> re,
                                  std::span<const std::int64_t> im, WordSpec wfmt) {
  check_word_format(wfmt);
  if (re.size() != im.size()) hex_packed_text(re, im, wfmt);  // throws the length message
  check_words(re, wfmt);
  check_words(im, wfmt);
  HashedFileWriter f(path);
  for (std::size_t i = 0; i < re.size(); i += kPiece) {
    const std::size_t n = std::min(kPiece, re.size() - i);
    f.write(hex_packed_text(re.subspan(i, n), im.subspan(i, n), wfmt));
  }
  return f.finish();
}

std::string write_npy_file(const std::string &path, std::span<const std::int64_t> words,
                           const std::vector<std::size_t> &shape) {
  const std::string header = npy_header(words.size(), shape);
  HashedFileWriter f(path);
  f.write(header);
  if constexpr (std::endian::native == std::endian::little) {
    // The words' own bytes are the file's ('<i8'): no copy.
    for (std::size_t i = 0; i < words.size(); i += kPiece * 8) {
      const std::size_t n = std::min(kPiece * 8, words.size() - i);
      f.write(std::string_view(reinterpret_cast<const char *>(words.data() + i), n * 8));
    }
  } else {
    std::string piece;
    for (std::size_t i = 0; i < words.size(); i += kPiece) {
      piece.clear();
      append_npy_data(piece, words.subspan(i, std::min(kPiece, words.size() - i)));
      f.write(piece);
    }
  }
  return f.finish();
}

std::string write_csv_file(const std::string &path, const CsvTable &table) {
  const std::size_t rows = csv_rows(table);
  std::string header;
  append_csv_header(header, table);
  HashedFileWriter f(path);
  f.write(header);
  // One buffer for every piece, written without clearing.
  const std::size_t piece_rows = std::min<std::size_t>(kPiece, std::max<std::size_t>(rows, 1));
  const auto piece = std::make_unique_for_overwrite<char[]>(piece_rows * csv_row_room(table));
  for (std::size_t r = 0; r < rows; r += piece_rows) {
    const char *end = put_csv_rows(piece.get(), table, r, std::min(rows, r + piece_rows));
    f.write(std::string_view(piece.get(), static_cast<std::size_t>(end - piece.get())));
  }
  return f.finish();
}

// ---- digests ----

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
  return digest_hex(digest, length);
}

}  // namespace zel
