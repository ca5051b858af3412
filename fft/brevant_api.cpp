// The exported C functions of brevant. No exception may leave them: the host
// is often a simulator that would be terminated by one.
#include "brevant.h"
#include "brevant_stream.h"
#include "fft_generics.h"
#include "fft_simulate.h"
#include "fft_state.h"

#include <iostream>

namespace brevant {

korvane_ip_zelfft_v9_0_state *create_state(const korvane_ip_zelfft_v9_0_generics &generics,
                                           std::ostream &messages) {
  try {
    if (!zelfft::check_generics(generics, messages)) return nullptr;
    return zelfft::assemble_state(generics).release();
  } catch (...) {
    // Exhausted memory: no message is defined for it, the null result says it.
    return nullptr;
  }
}

int bitacc_simulate(korvane_ip_zelfft_v9_0_state *state, const korvane_ip_zelfft_v9_0_inputs &inputs,
                    korvane_ip_zelfft_v9_0_outputs *outputs, std::ostream &messages) {
  try {
    return zelfft::simulate(state, inputs, outputs, messages);
  } catch (...) {
    // Only exhausted memory can get here: the data path wraps and never throws.
    return -1;
  }
}

int bitacc_simulate_pairs(korvane_ip_zelfft_v9_0_state *state, const double *x, int n,
                          const korvane_ip_zelfft_v9_0_inputs &rest, double *X,
                          korvane_ip_zelfft_v9_0_outputs *outputs, std::ostream &messages) {
  static_assert(kPairsDeclined == zelfft::kDeclined);
  try {
    return zelfft::simulate_pairs(state, x, n, rest, X, outputs, messages);
  } catch (...) {
    return -1;  // exhausted memory, as in bitacc_simulate
  }
}

}  // namespace brevant

extern "C" {

BREVANT_API korvane_ip_zelfft_v9_0_generics korvane_ip_zelfft_v9_0_get_default_generics(void) {
  return zelfft::default_generics();
}

BREVANT_API korvane_ip_zelfft_v9_0_state *korvane_ip_zelfft_v9_0_create_state(
    korvane_ip_zelfft_v9_0_generics generics) {
  return brevant::create_state(generics, std::cerr);
}

BREVANT_API void korvane_ip_zelfft_v9_0_destroy_state(korvane_ip_zelfft_v9_0_state *state) {
  delete state;
}

BREVANT_API int korvane_ip_zelfft_v9_0_bitacc_simulate(korvane_ip_zelfft_v9_0_state *state,
                                                       korvane_ip_zelfft_v9_0_inputs inputs,
                                                       korvane_ip_zelfft_v9_0_outputs *outputs) {
  return brevant::bitacc_simulate(state, inputs, outputs, std::cerr);
}

}  // extern "C"
