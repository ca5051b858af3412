// Lane-parallel CORDIC data path: one chunk of a block's samples at a time,
// several samples per vector instruction, with exactly the integer operations
// of the native scalar path (integer SIMD is exact, so every lane computes the
// very same words). The code is compiled once per SIMD instruction set and the
// best one the CPU has is chosen at run time; the scalar data path stays the
// reference the tests compare every instruction set with.
//
// Plain header: no SIMD types, so the engine and the tests can include it.
#pragma once

#include "cordic_tables.h"

#include <cstddef>
#include <cstdint>

namespace cordic {

// Everything the lane kernel needs of one model, as native integers (the
// native scalar data path's registers and constants).
struct LanePlan {
  unsigned iterations = 0;    // N, at least 1
  unsigned width = 0;         // B, at most 54
  unsigned round_shift = 0;   // B - OutputWidth
  uint32_t round_mode = 0;    // 0..3
  bool vectoring = false;
  bool hyperbolic = false;
  bool coarse = false;
  bool compensate = false;
  bool vector_in = false;     // reads (x, y) from the cartesian input
  bool phase_in = false;      // reads z from the phase input
  int alignment = 0;          // B - InputWidth
  double align_factor = 1.0;  // 2^alignment
  uint8_t shift[kTableEntries] = {};  // shift s of micro-rotation i
  int64_t angle[kTableEntries] = {};  // angle of micro-rotation i (by its shift)
  int64_t t = 0, m = 0, o = 0, l = 0;  // quadrant constants -pi, -pi/2, -3pi/4, -pi/4
  int64_t scale = 0;          // inverse gain, B - 2 fraction bits
};

// Samples a chunk holds; a block runs chunk by chunk. Output buffers have
// kLanePad more entries: the last vector of a chunk is written whole.
inline constexpr std::size_t kLaneChunk = 256;
inline constexpr std::size_t kLanePad = 8;

// One chunk of n (1..kLaneChunk) samples: cart holds n interleaved (re, im)
// input words when plan.vector_in, phase n phase words when plan.phase_in.
// On success the rounded output words are in out_a (x, or the magnitude) and
// out_b (y, or the phase z for vectoring functions), each with room for
// n + kLanePad words, and the result is true.
// The result is false, with the outputs meaningless, when an input word is not
// finite or aligns to 2^59 or more in magnitude: such a chunk must take the
// per-sample path, which handles every word.
bool run_lane_chunk(const LanePlan &plan, const double *cart, const double *phase, std::size_t n, double *out_a,
                    double *out_b);

// A block of count samples on integer words, below 2^53 in magnitude (a
// caller's word arrays): x and y the cartesian input's parts (vector_in), z
// the phase words (phase_in); the rounded output words go to out_a (x, or the
// magnitude; may be null when not wanted) and out_b (y, or the phase z), count
// of each, no padding. False when a word aligns beyond the lanes' bound (2^59),
// with the outputs then undefined: such a block must take the sample path.
bool run_lane_words(const LanePlan &plan, const int64_t *x, const int64_t *y, const int64_t *z, std::size_t count,
                    int64_t *out_a, int64_t *out_b);

// Name of the instruction set run_lane_chunk uses now (for benchmarks).
const char *lane_target_name();

}  // namespace cordic
