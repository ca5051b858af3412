// The exported C functions of brevant. No exception may leave them: the host
// is often a simulator that would be terminated by one.
#include "brevant.h"
#include "fft_generics.h"
#include "fft_simulate.h"
#include "fft_state.h"

#include <iostream>

extern "C" {

BREVANT_API korvane_ip_zelfft_v9_0_generics korvane_ip_zelfft_v9_0_get_default_generics(void) {
  return zelfft::default_generics();
}

BREVANT_API korvane_ip_zelfft_v9_0_state *korvane_ip_zelfft_v9_0_create_state(
    korvane_ip_zelfft_v9_0_generics generics) {
  try {
    if (!zelfft::check_generics(generics, std::cerr)) return nullptr;
    return zelfft::assemble_state(generics).release();
  } catch (...) {
    // Exhausted memory: no message is defined for it, the null result says it.
    return nullptr;
  }
}

BREVANT_API void korvane_ip_zelfft_v9_0_destroy_state(korvane_ip_zelfft_v9_0_state *state) {
  delete state;
}

BREVANT_API int korvane_ip_zelfft_v9_0_bitacc_simulate(korvane_ip_zelfft_v9_0_state *state,
                                                       korvane_ip_zelfft_v9_0_inputs inputs,
                                                       korvane_ip_zelfft_v9_0_outputs *outputs) {
  try {
    return zelfft::simulate(state, inputs, outputs, std::cerr);
  } catch (...) {
    // Only exhausted memory can get here: the data path wraps and never throws.
    return -1;
  }
}

}  // extern "C"
