// One transform through a model state: the ordered argument checks, input
// preparation, loading into the engine, the run, unloading and the
// conversion of the results to the caller's number scale.
#pragma once

#include "brevant.h"
#include "fft_settings.h"

#include <ostream>

namespace zelfft {

// Returns 0, or the code (1..23) of the first failed check after writing its
// line to `err`. Warnings go to `err` too and do not change the result.
int simulate(korvane_ip_zelfft_v9_0_state *state, const korvane_ip_zelfft_v9_0_inputs &inputs,
             korvane_ip_zelfft_v9_0_outputs *outputs, std::ostream &err);

// simulate_pairs's answer when it cannot take the frame.
constexpr int kDeclined = -2;

// simulate for a frame of n samples held as interleaved pairs (x[2i] the
// real part, x[2i+1] the imaginary one), its results written the same way to
// X[2k], X[2k+1]; nfft, schedule and direction come from `rest`. Taken only
// by fixed-point cores when every part lies in [-1, 1) on the input grid
// (the frames that need neither a message nor rounding); otherwise returns
// kDeclined having written nothing, and the frame goes to simulate as two
// arrays. Same checks, messages and results as simulate.
int simulate_pairs(korvane_ip_zelfft_v9_0_state *state, const double *x, int n,
                   const korvane_ip_zelfft_v9_0_inputs &rest, double *X, korvane_ip_zelfft_v9_0_outputs *outputs,
                   std::ostream &err);

// The per-length fields of the settings (length, radix-4 stages and address
// mask) for a transform of 2^nfft points, as simulate sets them for each call.
void fill_length_fields(FftSettings &s, int nfft);

}  // namespace zelfft
