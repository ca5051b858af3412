// The per-sample data path of a cordic_v6_0 model: read the input words,
// align them to the internal width B, load the registers for the configured
// function, coarse-rotate, run the N micro-rotations, undo the coarse
// rotation, compensate the gain, round to the output width and write the
// output words. The square root takes the digit-by-digit path instead.
//
// An engine lives for one block: it copies the model's constants into its own
// registers once, so no sample allocates, and it never changes the model.
#pragma once

#include "cordic_engine_lanes.h"
#include "cordic_engine_words.h"
#include "solvine_array.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class cordic_v6_0;

namespace cordic {

// The arrays of one data_do call (null where the function needs none).
struct SampleArrays {
  const zelip_array_real *magin = nullptr;
  const zelip_array_real *phasein = nullptr;
  const zelip_array_complex *cartin = nullptr;
  zelip_array_real *magout = nullptr;
  zelip_array_real *phaseout = nullptr;
  zelip_array_complex *cartout = nullptr;
};

// One sample's input words as read: x, y from cartin (re, im), z from phasein;
// the square root reads its radicand from magin into x.
struct SampleWords {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

class CordicEngine {
 public:
  // kAuto runs blocks in SIMD lanes where the arrays and inputs allow it and
  // every other sample on the native path where its inputs allow it; kScalar
  // takes the native or GMP path sample by sample; kGmpOnly runs every sample
  // on GMP integers (tests compare the three word for word).
  enum class Arithmetic { kAuto, kScalar, kGmpOnly };

  explicit CordicEngine(const cordic_v6_0 &model, Arithmetic arithmetic = Arithmetic::kAuto);
  ~CordicEngine();
  CordicEngine(const CordicEngine &) = delete;
  CordicEngine &operator=(const CordicEngine &) = delete;

  // Samples 0 to count - 1 in order. The inputs the configured function needs
  // are read at index k; a missing or non-finite input word throws
  // CORDICException("Problem reading data from <array>"), leaving the
  // outputs of earlier samples written. Outputs beyond an output array's
  // element count are skipped.
  void run(const SampleArrays &arrays, std::size_t count);

  // One sample of the configured function on finite input words; the outputs
  // are x, y (rotate, sin_cos, sinh_cosh), magnitude x and phase z
  // (translate), phase z (atan, atanh) or root x (sqrt).
  SampleWords compute(const SampleWords &in);

  // The lane path's constants, or null when blocks of this configuration run
  // sample by sample (the square root, GMP-only arithmetic).
  const LanePlan *lane_plan() const { return lanes_ ? &*lanes_ : nullptr; }

 private:
  template <class Word>
  struct Datapath;

  std::size_t run_lanes(const SampleArrays &arrays, std::size_t count);
  void run_one(const SampleArrays &arrays, std::size_t k) { write(arrays, k, compute(read(arrays, k))); }
  SampleWords read(const SampleArrays &arrays, std::size_t k) const;
  void write(const SampleArrays &arrays, std::size_t k, const SampleWords &out) const;
  SampleWords compute_root(double radicand);

  const cordic_v6_0 &model_;
  const Arithmetic arithmetic_;
  const uint32_t function_;
  const int alignment_;  // B - InputWidth
  std::unique_ptr<Datapath<int64_t>> native_;  // null when the configuration needs GMP
  std::optional<LanePlan> lanes_;               // empty unless kAuto and native_
  std::unique_ptr<Datapath<MpzWord>> gmp_;      // built when a sample first needs it
  MpzWord root_;  // radicand, then root, of the square root path
};

}  // namespace cordic
