// C++ entry point for programs built together with the model (language
// bindings) that hold their words as 64-bit integers: the CORDIC lane data
// path on those words, without the round trip through the arrays of doubles
// the C interface takes. The very same words as zelip_cordic_v6_0_data_do
// for any word of the configured input width. Not exported from the shared
// library.
#pragma once

#include "solvine.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace solvine {

class WordLanes {
 public:
  // A configuration zelip_cordic_v6_0_create accepts; throws
  // std::invalid_argument with the check's text for one it refuses.
  explicit WordLanes(const zelip_cordic_v6_0_config &config);
  ~WordLanes();
  WordLanes(const WordLanes &) = delete;
  WordLanes &operator=(const WordLanes &) = delete;

  // Whether run can take blocks of this configuration (every function but
  // the square root).
  bool available() const;

  // count samples of the configured function on words within the input
  // width: x and y the Cartesian input's parts (rotate, translate, atan,
  // atanh), z the phase words (rotate, sin_cos, sinh_cosh); the ones the
  // function does not read may be null. Outputs: a = x, the magnitude, cos or
  // cosh; b = y, the phase, sin or sinh (atan and atanh write b only; a may
  // then be null). False, with the outputs undefined, when not available or a
  // word lies beyond what the lanes hold: the caller then runs the block
  // through the C interface.
  bool run(const std::int64_t *x, const std::int64_t *y, const std::int64_t *z, std::size_t count,
           std::int64_t *a, std::int64_t *b) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace solvine
