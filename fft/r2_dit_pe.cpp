#include "r2_dit_pe.h"

namespace zelfft {

R2_DIT_PE::R2_DIT_PE(const FFT &engine) {
  input_width = engine.input_width;
  output_width = engine.output_width;
  twiddle_width = engine.twiddle_width;
  has_rounding = engine.has_rounding;
  has_scaling = engine.has_scaling;
  overflow = 0;
  work_point = output_width + 2;
  round_constant_ = (int64_t{1} << (twiddle_width - 5)) - 1;
  convergent_ = has_rounding == 1;
}

R2_DIT_PE::~R2_DIT_PE() = default;

}  // namespace zelfft
