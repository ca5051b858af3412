// Vector files for hardware test benches: words of a core's ports as
// $readmemh hex text, NumPy .npy arrays of int64 and CSV tables.
//
// A word is held as its value in an std::int64_t: the two's-complement value
// for a signed word, the plain value for an unsigned one. Widths run from 1 to
// 63 bits (the cores use 8 to 51). Every reader checks that each word fits its
// width and names the file, and for text formats the line, of the first word
// that does not; nothing is guessed or clipped.
//
// Hex text is what $readmemh reads: one word a line, lower-case digits, the
// word's bit pattern zero-padded to ceil(width / 4) digits (a signed -1 of 12
// bits is "fff"). A packed line holds {im, re}: the imaginary word in the upper
// `width` bits, the real word in the lower, 2 * width bits in
// ceil(2 * width / 4) digits. Readers also take what a simulator's $writememh
// may write: several words a line, `//` comments, `_` separators, fewer digits.
//
// .npy files are format version 1.0, little-endian int64 ('<i8'), C order.
// The reader also takes the other integer element types and version 2.0/3.0
// headers; float arrays and Fortran order are refused.
//
// CSV tables have a header line of column names, then one row of decimal
// integers a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// A file that cannot be read or does not hold what it should. what() is the
// whole line: "FILE:LINE: text" (text formats) or "FILE: text".
class VectorError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct WordSpec {
  int width = 16;  // bits, 1..63
  bool is_signed = true;
};

// Throws std::invalid_argument for a width outside 1..63.
void check_word_format(WordSpec wfmt);
std::int64_t word_min(WordSpec wfmt);
std::int64_t word_max(WordSpec wfmt);
inline bool word_fits(std::int64_t w, WordSpec wfmt) { return w >= word_min(wfmt) && w <= word_max(wfmt); }
// Hex digits of one word: ceil(width / 4).
int hex_digits(int bits);

// ---- hex ($readmemh) ----

// Writers throw std::invalid_argument naming the index of a word that does
// not fit the word format (or of re/im spans of different lengths).
std::string hex_text(std::span<const std::int64_t> words, WordSpec wfmt);
std::string hex_packed_text(std::span<const std::int64_t> re, std::span<const std::int64_t> im, WordSpec wfmt);

// `file` names the source in messages.
std::vector<std::int64_t> parse_hex(std::string_view text, WordSpec wfmt, const std::string &file);
void parse_hex_packed(std::string_view text, WordSpec wfmt, const std::string &file, std::vector<std::int64_t> &re,
                      std::vector<std::int64_t> &im);

// ---- .npy ----

struct NpyArray {
  std::vector<std::size_t> shape;  // empty for a scalar
  std::vector<std::int64_t> data;  // C order
};

// shape's product must equal words.size().
std::string npy_bytes(std::span<const std::int64_t> words, const std::vector<std::size_t> &shape);
NpyArray parse_npy(std::string_view bytes, const std::string &file);

// ---- CSV ----

struct CsvTable {
  std::vector<std::string> names;
  std::vector<std::vector<std::int64_t>> columns;  // one per name, all of one length

  // The column of that name, or nullptr.
  const std::vector<std::int64_t> *column(std::string_view name) const;
};

std::string csv_text(const CsvTable &table);
CsvTable parse_csv(std::string_view text, const std::string &file);

// ---- files ----

// The whole file; VectorError "FILE: cannot read: reason" when it cannot be.
std::string read_file(const std::string &path);
// Writes the bytes (replacing the file); VectorError when it cannot.
void write_file(const std::string &path, std::string_view bytes);

std::vector<std::int64_t> read_hex_file(const std::string &path, WordSpec wfmt);
NpyArray read_npy_file(const std::string &path);
// The same into the caller's arrays, which keep their storage when it is
// large enough: a caller reading many files of one size allocates (and the
// kernel maps) the memory once. The hex file is decoded piece by piece as it
// is read; a little-endian int64 .npy file is read straight into the array.
void read_hex_file(const std::string &path, WordSpec wfmt, std::vector<std::int64_t> &words);
void read_npy_file(const std::string &path, NpyArray &array);
CsvTable read_csv_file(const std::string &path);

// ---- streamed writers ----

// A file written in pieces and hashed as it is written.
class HashedFileWriter {
 public:
  explicit HashedFileWriter(const std::string &path);  // VectorError when it cannot be created
  ~HashedFileWriter();
  void write(std::string_view bytes);
  // Closes the file; returns the SHA-256 of everything written (as sha256_hex).
  std::string finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Each writes the same bytes as the matching *_text / npy_bytes function,
// piece by piece, and returns their SHA-256.
std::string write_hex_file(const std::string &path, std::span<const std::int64_t> words, WordSpec wfmt);
std::string write_hex_packed_file(const std::string &path, std::span<const std::int64_t> re,
                                  std::span<const std::int64_t> im, WordSpec wfmt);
std::string write_npy_file(const std::string &path, std::span<const std::int64_t> words,
                           const std::vector<std::size_t> &shape);
std::string write_csv_file(const std::string &path, const CsvTable &table);

// ---- digests ----

// SHA-256 of the bytes as 64 lower-case hex digits (as sha256sum prints it).
std::string sha256_hex(std::string_view bytes);

}  // namespace zel
