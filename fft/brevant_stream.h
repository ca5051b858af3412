// C++ entry points for programs built together with the model (language
// bindings, the vector tool, simulator shims) that collect the model's error
// and warning lines instead of letting them reach standard error. They run the
// very same checks and data path as the exported C functions and write the
// very same lines, one per message, each ending in a line feed. They are not
// exported from the shared library.
#pragma once

#include "brevant.h"

#include <ostream>

namespace brevant {

// As korvane_ip_zelfft_v9_0_create_state, with its error line written to `messages`.
korvane_ip_zelfft_v9_0_state *create_state(const korvane_ip_zelfft_v9_0_generics &generics,
                                           std::ostream &messages);

// As korvane_ip_zelfft_v9_0_bitacc_simulate, with its error and warning lines written to `messages`.
int bitacc_simulate(korvane_ip_zelfft_v9_0_state *state, const korvane_ip_zelfft_v9_0_inputs &inputs,
                    korvane_ip_zelfft_v9_0_outputs *outputs, std::ostream &messages);

// bitacc_simulate for a frame of n samples held as interleaved pairs (x[2i]
// real, x[2i+1] imaginary; results to X[2k], X[2k+1]), read and written in
// place: nfft, the schedule and the direction come from `rest`, whose data
// fields are not read. Fixed-point cores take frames whose parts all lie in
// [-1, 1) on the input grid; for any other frame it returns kPairsDeclined
// having done and written nothing (the caller then passes two arrays).
constexpr int kPairsDeclined = -2;
int bitacc_simulate_pairs(korvane_ip_zelfft_v9_0_state *state, const double *x, int n,
                          const korvane_ip_zelfft_v9_0_inputs &rest, double *X,
                          korvane_ip_zelfft_v9_0_outputs *outputs, std::ostream &messages);

}  // namespace brevant
