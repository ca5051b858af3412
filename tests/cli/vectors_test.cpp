// Vector file formats: every writer read back by its reader at widths 8..48
// (extremes of each width included), and each malformed input reported with
// its file and line.
#include "vectors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

using zel::WordSpec;

// Extremes, their neighbours, zero and random words of the width.
std::vector<std::int64_t> sample_words(WordSpec wfmt, std::mt19937_64 &rng) {
  const std::int64_t lo = zel::word_min(wfmt), hi = zel::word_max(wfmt);
  std::vector<std::int64_t> w{lo, hi, lo + 1, hi - 1, 0, 1};
  if (wfmt.is_signed) w.push_back(-1);
  const auto range = static_cast<std::uint64_t>(hi - lo) + 1;
  while (w.size() < 56) w.push_back(lo + static_cast<std::int64_t>(rng() % range));
  return w;
}

TEST(VectorFiles, EveryFormatRoundTripsAtEveryWidth) {
  const std::uint64_t seed = 20261209;
  std::mt19937_64 rng(seed);
  for (int width = 8; width <= 48; ++width)
    for (bool is_signed : {true, false}) {
      SCOPED_TRACE("width " + std::to_string(width) + (is_signed ? " signed" : " unsigned") + ", seed " +
                   std::to_string(seed));
      const WordSpec wfmt{width, is_signed};
      const auto re = sample_words(wfmt, rng);
      auto im = sample_words(wfmt, rng);
      std::reverse(im.begin(), im.end());

      const std::string hex = zel::hex_text(re, wfmt);
      EXPECT_EQ(hex.size(), re.size() * static_cast<std::size_t>((width + 3) / 4 + 1));
      EXPECT_EQ(zel::parse_hex(hex, wfmt, "f"), re);

      std::vector<std::int64_t> r2, i2;
      zel::parse_hex_packed(zel::hex_packed_text(re, im, wfmt), wfmt, "f", r2, i2);
      EXPECT_EQ(r2, re);
      EXPECT_EQ(i2, im);

      const auto npy = zel::parse_npy(zel::npy_bytes(re, {2, re.size() / 2}), "f");
      EXPECT_EQ(npy.shape, (std::vector<std::size_t>{2, re.size() / 2}));
      EXPECT_EQ(npy.data, re);

      zel::CsvTable t{{"index", "re", "im"}, {std::vector<std::int64_t>(re.size(), 7), re, im}};
      const auto back = zel::parse_csv(zel::csv_text(t), "f");
      EXPECT_EQ(back.names, t.names);
      EXPECT_EQ(back.columns, t.columns);
    }
}

TEST(VectorFiles, HexLayoutIsWhatReadmemhExpects) {
  // Two's complement, zero-padded, lower case; packed puts im in the upper half.
  EXPECT_EQ(zel::hex_text(std::vector<std::int64_t>{-1, 5, -2048}, {12, true}), "fff\n005\n800\n");
  EXPECT_EQ(zel::hex_text(std::vector<std::int64_t>{-1, 1}, {10, true}), "3ff\n001\n");
  EXPECT_EQ(zel::hex_packed_text(std::vector<std::int64_t>{-1}, std::vector<std::int64_t>{1}, {10, true}), "007ff\n");
  // What a simulator may write back: comments, separators, short words, several a line.
  EXPECT_EQ(zel::parse_hex("// header\nF_FF 1 /* two\nlines */ 7ff\n\n", {12, true}, "f"),
            (std::vector<std::int64_t>{-1, 1, 2047}));
  EXPECT_THROW(zel::hex_text(std::vector<std::int64_t>{2048}, {12, true}), std::invalid_argument);
  // The one-line-per-word layout is decoded eight bytes at a time: both
  // cases of letters are digits, the characters just beside the digit and
  // letter ranges are not.
  EXPECT_EQ(zel::parse_hex("FfA0\n0009\n7aBc\n0000\n", {16, true}, "f"),
            (std::vector<std::int64_t>{-96, 9, 0x7abc, 0}));
  for (const char c : std::string("/:@G`g\x80", 7)) {
    const std::string text = std::string("0") + c + "00\n0000\n0000\n0000\n";
    EXPECT_THROW(zel::parse_hex(text, {16, true}, "f"), zel::VectorError) << "character " << int(c);
  }
}

TEST(VectorFiles, HexLinesMatchAPlainFormatterAtEveryLengthAndWidth) {
  // The lines of up to eight digits go through vector lanes in blocks, the
  // rest one by one: lengths across block edges, every width, and a
  // corrupted byte or an over-wide word anywhere in the text.
  const std::uint64_t seed = 977;
  std::mt19937_64 rng(seed);
  for (int width = 1; width <= 36; ++width)
    for (bool is_signed : {true, false}) {
      const WordSpec wfmt{width, is_signed};
      const int digits = (width + 3) / 4;
      for (std::size_t n : {std::size_t{1}, std::size_t{7}, std::size_t{63}, std::size_t{64}, std::size_t{65},
                            std::size_t{200} + rng() % 300}) {
        SCOPED_TRACE("width " + std::to_string(width) + (is_signed ? " signed" : " unsigned") + ", " +
                     std::to_string(n) + " words, seed " + std::to_string(seed));
        std::vector<std::int64_t> words = sample_words(wfmt, rng);
        std::erase_if(words, [&](std::int64_t w) { return !zel::word_fits(w, wfmt); });  // 1 at one bit
        while (words.size() < n) words.push_back(words[rng() % words.size()]);
        words.resize(n);
        std::shuffle(words.begin(), words.end(), rng);
        std::string want;
        char line[32];
        for (std::int64_t w : words) {
          std::snprintf(line, sizeof line, "%0*llx\n", digits,
                        static_cast<unsigned long long>(w) & ((1ull << width) - 1));
          want += line;
        }
        const std::string text = zel::hex_text(words, wfmt);
        ASSERT_EQ(text, want);
        ASSERT_EQ(zel::parse_hex(text, wfmt, "f"), words);
        std::string bad = text;
        const std::size_t at = rng() % n;
        bad[at * static_cast<std::size_t>(digits + 1) + rng() % static_cast<std::size_t>(digits + 1)] = 'g';
        EXPECT_THROW(zel::parse_hex(bad, wfmt, "f"), zel::VectorError) << "'g' in line " << at + 1;
        if (width % 4) {  // a first digit with bits above the width
          bad = text;
          bad[at * static_cast<std::size_t>(digits + 1)] = 'f';
          EXPECT_THROW(zel::parse_hex(bad, wfmt, "f"), zel::VectorError) << "wide word in line " << at + 1;
        }
        if (n > 1 && width <= 8) {  // a word outside the width, found where it is
          words[at] = zel::word_max(wfmt) + 1;
          try {
            zel::hex_text(words, wfmt);
            ADD_FAILURE() << "word " << at << " not refused";
          } catch (const std::invalid_argument &e) {
            EXPECT_EQ(std::string(e.what()).rfind("word " + std::to_string(at) + " (", 0), 0u) << e.what();
          }
        }
      }
    }
}

void expect_error(const std::function<void()> &f, const std::string &text) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const zel::VectorError &e) {
    EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
  }
}

TEST(VectorFiles, MalformedInputNamesFileAndLine) {
  expect_error([] { zel::parse_hex("001\n1000\n", {12, true}, "a.hex"); }, "a.hex:2: word '1000' is wider than 12 bits");
  expect_error([] { zel::parse_hex("001\n00x\n", {12, true}, "a.hex"); }, "a.hex:2: word '00x' has unknown (x or z) bits");
  expect_error([] { zel::parse_hex("001\n\n0g1\n", {12, true}, "a.hex"); }, "a.hex:3: '0g1' is not a hex word");
  expect_error([] { zel::parse_hex("@10\n", {12, true}, "a.hex"); }, "a.hex:1: address @10 not supported");
  std::vector<std::int64_t> re, im;
  expect_error([] {
    std::vector<std::int64_t> r, i;
    zel::parse_hex_packed("1000000\n", {12, true}, "p.hex", r, i);
  }, "p.hex:1: word '1000000' is wider than 24 bits");
  expect_error([] { zel::parse_csv("re,im\n1,2\n3\n", "c.csv"); }, "c.csv:3: expected 2 values, found 1");
  expect_error([] { zel::parse_csv("re\n1.5\n", "c.csv"); }, "c.csv:2: column re: '1.5' is not an integer");
  expect_error([] { zel::parse_csv("re\n99999999999999999999\n", "c.csv"); }, "not an integer of 64 bits");

  const std::string npy = zel::npy_bytes(std::vector<std::int64_t>{1, 2, 3, 4}, {4});
  expect_error([&] { zel::parse_npy(npy.substr(0, npy.size() - 3), "t.npy"); },
               "t.npy: truncated: the header announces 4 values, the file holds 3");
  expect_error([&] { zel::parse_npy(npy.substr(0, 40), "t.npy"); }, "t.npy: truncated .npy header");
  std::string f8 = npy;
  f8.replace(f8.find("<i8"), 3, "<f8");
  expect_error([&] { zel::parse_npy(f8, "t.npy"); }, "element type '<f8' is not a little-endian integer");
  expect_error([] { zel::read_file("/nonexistent/x.hex"); }, "/nonexistent/x.hex: cannot read");
}

TEST(VectorFiles, NpyReaderTakesNarrowerIntegerTypes) {
  // A bench may save int16 or uint32 arrays; values keep their sign rules.
  std::string b = zel::npy_bytes(std::vector<std::int64_t>{}, {0});
  const std::size_t data = b.size();
  b.replace(b.find("<i8"), 3, "<i2");
  b.replace(b.find("(0,)"), 4, "(2,)");
  b += std::string("\xff\xff\x01\x00", 4);
  EXPECT_EQ(zel::parse_npy(b, "t.npy").data, (std::vector<std::int64_t>{-1, 1}));
  b.replace(b.find("<i2"), 3, "<u2");
  EXPECT_EQ(zel::parse_npy(b, "t.npy").data, (std::vector<std::int64_t>{65535, 1}));
  EXPECT_EQ(b.size(), data + 4);
}

TEST(VectorFiles, Sha256MatchesKnownDigests) {
  EXPECT_EQ(zel::sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(zel::sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace

namespace {

TEST(VectorFiles, StreamedWritersGiveTheBytesAndDigestOfTheTextForms) {
  // More words than one written piece, so piece boundaries are crossed.
  std::mt19937_64 rng(7);
  const WordSpec wfmt{18, true};
  std::vector<std::int64_t> re(40'003), im(40'003);
  for (std::size_t i = 0; i < re.size(); ++i) {
    re[i] = zel::word_min(wfmt) + static_cast<std::int64_t>(rng() % (1u << 18));
    im[i] = zel::word_min(wfmt) + static_cast<std::int64_t>(rng() % (1u << 18));
  }
  const std::string path = ::testing::TempDir() + "zelvec_stream_test";
  auto check = [&](const std::string &digest, const std::string &text) {
    const std::string bytes = zel::read_file(path);
    EXPECT_TRUE(bytes == text);
    EXPECT_EQ(digest, zel::sha256_hex(text));
  };
  check(zel::write_hex_file(path, re, wfmt), zel::hex_text(re, wfmt));
  check(zel::write_hex_packed_file(path, re, im, wfmt), zel::hex_packed_text(re, im, wfmt));
  check(zel::write_npy_file(path, re, {1, re.size()}), zel::npy_bytes(re, {1, re.size()}));
  const zel::CsvTable t{{"re", "im"}, {re, im}};
  check(zel::write_csv_file(path, t), zel::csv_text(t));
  std::remove(path.c_str());
}

TEST(VectorFiles, FileReadersDecodeInPiecesIntoReusedArrays) {
  // 300,000 words of 16 bits: 1.5 MB of text, more than one piece read.
  std::mt19937_64 rng(11);
  const WordSpec wfmt{16, true};
  std::vector<std::int64_t> words(300'000);
  for (auto &w : words) w = static_cast<std::int64_t>(rng() % 65536) - 32768;
  const std::string path = ::testing::TempDir() + "zelvec_read_test";
  zel::write_hex_file(path, words, wfmt);
  std::vector<std::int64_t> got(500'000, 9);  // a larger array from an earlier file
  zel::read_hex_file(path, wfmt, got);
  EXPECT_TRUE(got == words);

  // A bad word in a later piece: the message names its line.
  std::string text = zel::hex_text(words, wfmt);
  text.replace(5 * 250'000, 4, "12g4");
  zel::write_file(path, text);
  expect_error([&] { zel::read_hex_file(path, wfmt, got); }, path + ":250001: '12g4' is not a hex word");
  // A simulator's layout whose size happens to fit the plain one.
  zel::write_file(path, "1 2\n 0003\n");  // 10 bytes, as if two 5-byte lines
  zel::read_hex_file(path, wfmt, got);
  EXPECT_EQ(got, (std::vector<std::int64_t>{1, 2, 3}));

  zel::write_npy_file(path, words, {words.size()});
  zel::NpyArray a{{7}, std::vector<std::int64_t>(10, 1)};
  zel::read_npy_file(path, a);
  EXPECT_EQ(a.shape, std::vector<std::size_t>{words.size()});
  EXPECT_TRUE(a.data == words);
  const std::string npy = zel::read_file(path);
  zel::write_file(path, npy.substr(0, npy.size() - 9));
  expect_error([&] { zel::read_npy_file(path, a); },
               "truncated: the header announces 300000 values, the file holds 299998");
  std::string i2 = zel::npy_bytes(std::vector<std::int64_t>{}, {0});
  i2.replace(i2.find("<i8"), 3, "<i2");
  i2.replace(i2.find("(0,)"), 4, "(2,)");
  zel::write_file(path, i2 + std::string("\xff\xff\x01\x00", 4));
  EXPECT_EQ(zel::read_npy_file(path).data, (std::vector<std::int64_t>{-1, 1}));
  std::remove(path.c_str());
}

}  // namespace
