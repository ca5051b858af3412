// Vector data paths of the three engines: the butterflies of one stage, many
// per instruction, on the very same words as the scalar processing elements.
//
// Integer lanes are exact, so a vector lane computes bit for bit what the
// scalar register code computes; only the grouping differs. The memories
// keep their words as RawComplex (two 64-bit patterns, real first), so a
// vector of 2k lanes holds k consecutive words with real and imaginary parts
// alternating, and every operation below is either lane-wise or swaps the
// two parts of a word.
//
// The best instruction set the CPU offers is chosen at run time (Highway's
// dynamic dispatch); the scalar processing elements stay the reference and
// take every configuration these paths decline. Each call returns false,
// having touched nothing, when it cannot run the configuration in lanes.
#pragma once

#include "fixed_registers.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelfft::simd {

// How the twiddle products of a data path are formed in 64-bit lanes.
enum class Products {
  kScalar,  // a sum of products may exceed 64 bits: scalar path only
  kSmall,   // both factors fit 32 bits: one signed 32 x 32 -> 64 multiply
  kNarrow,  // the sums of products fit 64 bits: low halves of 64 x 64 products
  kWide,    // wider sums: the data factor in two limbs of 27 and 26 bits
};

// The products a data path needs: factors of up to `factor_width` (at most
// 53) bits (two's complement) and twiddles of TW+1 (at most 35) bits, whose
// sums of products and rounding constant need `sum_bits` bits.
Products products_for(int factor_width, int twiddle_width, int sum_bits);

// Twiddles laid out for the lanes: for factor w, a = {w.re, w.re} and
// b = {-w.im, w.im}, so that x * w = x * a + swap(x) * b lane by lane.
struct LaneTwiddles {
  std::vector<RawComplex> a;
  std::vector<RawComplex> b;
  // Appends factors table[k * stride] for k < count; returns the offset of
  // the first.
  size_t append(const RawComplex *table, size_t count, size_t stride);
  void clear() {
    a.clear();
    b.clear();
  }
};

// The twiddle-product rounding shared by the burst engines' butterflies:
// data words (Bo, Bo-1); a product plus `round_constant`, floored by `drop`
// bits into the twiddled register of `twiddled_width` bits.
struct BurstPath {
  int word_width;      // Bo
  int drop;            // TW - 4
  int twiddled_width;  // Bo + 4
  int64_t round_constant;
  bool convergent;     // outputs ConvergentSafe, else truncation
  Products products;
  bool measure;        // track the outputs' extremes (block floating point)
};

// What a stage leaves for its engine: whether a scaled output left [-1, 1),
// and, when the path measures, the largest v ^ (v >> 63) over the parts
// written (the growth class of block floating point grows with it; 0
// otherwise).
struct StageResult {
  bool overflow = false;
  int64_t largest = 0;
};

// Radix-2 decimation-in-time butterflies of one stage: for every group of
// 2 * span words and j < span, words (j, j + span) of the group with twiddle
// j of `tw` (offset `first`), each result divided by 2^shift. The radix-2
// burst engine's stages and the radix-4 engine's final radix-2 stage.
bool radix2_stage(RawComplex *memory, int length, int span, const LaneTwiddles &tw, size_t first,
                  const BurstPath &path, int shift, StageResult &result);

// One radix-4 decimation-in-time stage of the radix-4 burst engine. With
// `starts` null: operands a0 + j * span, a0 = low + high, low < span (the
// twiddle index, three tables from offsets first[0..2]), high a multiple of
// 4 * span. With `starts` (stage 0, span 1): a0 = starts[b] for each of the
// length / 4 butterflies, twiddles entry first[k]. `swap13` exchanges the
// outputs 1 and 3 (inverse transform).
bool radix4_stage(RawComplex *memory, int length, int span, const int32_t *starts, const LaneTwiddles &tw,
                  const size_t (&first)[3], const BurstPath &path, int shift, bool swap13, StageResult &result);

// Stage 0 of the radix-4 engine with its input still in sample order:
// `staged` word q + j * length/4 is operand j of the butterfly whose results
// go to memory words dest[q] + j, q < length / 4.
bool radix4_first_staged(RawComplex *memory, const RawComplex *staged, int length, const int32_t *dest,
                         const BurstPath &path, int shift, bool swap13, StageResult &result);

// The pipelined engine's data path (word width B, results and outputs of
// result_width bits, memory words of B+1 bits).
struct PipelinePath {
  int word_width;       // B
  int twiddle_width;    // TW
  int result_width;     // B+2 under fixed scaling, else B
  bool fixed_scaling;
  bool convergent;
  bool forward;
  bool final_drops_bit;  // C_NFFT_MAX even
  int product_point;     // P
  int twiddled_width;
  int64_t round_constant;
  Products products;
};

// One stage s of the pipelined engine over `length` words (span h =
// length >> (s+1)); for an odd stage that is not the last, the twiddles of
// even groups come from tables first[0] (upper) and first[1] (lower), those
// of odd groups from first[2] and first[3], indexed by i < h.
bool pipeline_stage(RawComplex *memory, int length, int nfft, int stage, const LaneTwiddles &tw,
                    const size_t (&first)[4], const PipelinePath &path, int shift, StageResult &result);

// The sample passes of simulate (fixed-point data).

// Whether every x[i] lies in [-1, 1) (a NaN does not) and whether every
// s * x[i] is a whole number.
struct SampleScan {
  bool in_range;
  bool on_grid;
};
SampleScan scan_samples(const double *x, int n, double s);

// Word a := the patterns of re[from[a]] * scale and im[from[a]] * scale
// (sample a when `from` is null), each floored to an integer and wrapped to
// `width` bits, as a ZelFix assignment into a word of that format does;
// every |x * scale| must lie below 2^62. Returns the largest v ^ (v >> 63)
// over the parts stored.
int64_t load_words(const double *re, const double *im, int n, double scale, int width, const int32_t *from,
                   RawComplex *memory);

// re[k], im[k] := the parts of memory[from[k]] (word k when `from` is null)
// times `scale`, a power of two (exact: the words have at most 53 bits).
void unload_words(const RawComplex *memory, const int32_t *from, int n, double scale, double *re, double *im);

// load_words (in sample order) and unload_words for samples and results held
// as interleaved pairs: x[2a] the real part, x[2a+1] the imaginary one.
int64_t load_pairs(const double *x, int n, double scale, int width, RawComplex *memory);
// load_pairs of parts checked in the same pass: *plain tells whether every
// x * scale is a whole number in [-scale, scale) with none of the bits
// `off_grid` set (a word scale of 2^m times the input grid, and its low m
// bits: the parts lie in [-1, 1) on the grid); when false, the words are
// unspecified. The scale is at most 2^(width - 1).
int64_t load_pairs_checked(const double *x, int n, double scale, int width, RawComplex *memory, int64_t off_grid,
                           bool *plain);
void unload_pairs(const RawComplex *memory, const int32_t *from, int n, double scale, double *x);

// The sample pass of a single-precision block. When no sample is, as a
// single, subnormal, infinite or NaN, sets *largest to the largest |x| and
// returns true; otherwise returns false (the block needs the sample-by-sample
// pass with its warnings).
bool plain_single_block(const double *re, const double *im, int n, double *largest);

// Word n := the samples as single precision, divided by 2^exponent
// (|exponent| <= 62) in single precision, rounded to `bits` bits (to the
// nearest multiple of 2^-(bits-1), ties to even), times `word_scale` (a power
// of two), floored and wrapped to `width` bits. Returns the largest
// v ^ (v >> 63) over the parts stored.
int64_t single_words(const double *re, const double *im, int n, int exponent, int bits, double word_scale, int width,
                     RawComplex *words);

// The output pass of a valid single-precision block, by chunks of `*chunk`
// elements: each result v is rounded to 24 significant bits (ties to even;
// values of 1 and more stay, values below 2^-64 become a zero of their
// sign), multiplied by 2^t (|t| <= 62), and written back. A chunk with a
// value the lanes do not decide (a zero, a value within 2^-28 of a power of
// two, where the exponent rule of the hardware decides, or a result beyond
// the single range) is left untouched and its first index appended to
// `pending`; returns the number appended.
int finish_singles(double *re, double *im, int n, int t, int32_t *pending, int *chunk);

// The instruction sets compiled in and available on this CPU (Highway
// target bits), for tests that run every path.
std::vector<int64_t> available_targets();
const char *target_name(int64_t target);

}  // namespace zelfft::simd
