#include "r2_dit_pe.h"

#include <cmath>

namespace zelfft {

R2_DIT_PE::R2_DIT_PE(ZelComplex (&inputs_in)[2], const FFT &engine) : inputs(inputs_in) {
  input_width = engine.input_width;
  output_width = engine.output_width;
  twiddle_width = engine.twiddle_width;
  has_rounding = engine.has_rounding;
  has_scaling = engine.has_scaling;
  overflow = 0;

  const int bo = output_width;
  const int tw = twiddle_width;
  work_point = bo + 2;
  const int w = work_point;
  const int out_q = has_rounding == 1 ? zel::ConvergentSafe : zel::Truncate;
  for (int k = 0; k < 2; ++k) {
    scaled[k].setFormat(bo + 8, w + 3, zel::Signed, zel::Truncate, zel::Wrap);
    outputs[k].setFormat(bo, bo - 1, zel::Signed, out_q, zel::Wrap);
    sums[k].setFormat(bo + 5, w, zel::Signed, zel::Truncate, zel::Wrap);
  }
  twiddled.setFormat(bo + 4, w, zel::Signed, zel::Truncate, zel::Wrap);
  product.setFormat(bo + tw + 2, bo + tw - 2, zel::Signed, zel::Truncate, zel::Wrap);
  round_constant.setFormat(bo + tw + 2, bo + tw - 2, zel::Signed, zel::Truncate, zel::Wrap);
  // Just under half a unit of the working point: adding it and truncating
  // rounds the product to nearest with ties toward minus infinity.
  const double half_less_one = std::ldexp(std::ldexp(1.0, tw - 5) - 1.0, -(bo + tw - 2));
  round_constant.set(half_less_one, half_less_one);
}

R2_DIT_PE::~R2_DIT_PE() = default;

void R2_DIT_PE::butterfly(const ZelComplex &w, int shift) {
  ZelComplex::productInto(product, inputs[1], w);
  product.real() += round_constant.real();
  product.imag() += round_constant.imag();
  twiddled = product;
  ZelComplex::sumInto(sums[0], inputs[0], twiddled);
  ZelComplex::differenceInto(sums[1], inputs[0], twiddled);
  for (int k = 0; k < 2; ++k) {
    scaled[k] = sums[k];
    if (shift > 0) scaled[k] >>= shift;
    outputs[k] = scaled[k];
    if (!within_unit(scaled[k].real()) || !within_unit(scaled[k].imag())) overflow = 1;
  }
}

}  // namespace zelfft
