// The state's settings record: the parameter and run-time fields of the
// engine base class, as plain storage. create_state fills the parameters,
// simulate fills the run-time fields before each transform, and the engine
// constructors copy from it.
#pragma once

#include <cstdint>

namespace zelfft {

struct FftSettings {
  // Parameters, fixed at creation (derived from the generics).
  int32_t input_width = 0;
  int32_t internal_input_width = 0;
  int32_t output_width = 0;
  int32_t internal_output_width = 0;
  int32_t twiddle_width = 0;
  int32_t nfft_max = 0;
  int32_t has_rounding = 0;
  int32_t has_scaling = 0;
  int32_t has_bfp = 0;
  int32_t arch = 0;
  // Run-time fields, rewritten by every transform.
  int32_t bfp_class = 0;
  int32_t total_shift = 0;
  int32_t direction = 1;
  int32_t overflow = 0;
  int32_t odd_nfft = 0;
  int32_t r4_address_mask = 0;
  int32_t length = 64;
  int32_t nfft = 0;
  int32_t r4_length = 64;
  int32_t r4_stages = 0;
  uint32_t scaling_word = 0;
  int32_t butterfly_index = 0;
  int32_t stage_index = 0;
  // Copy of C_USE_FLT_PT; only the settings record carries it.
  int32_t use_flt_pt = 0;
};

}  // namespace zelfft
