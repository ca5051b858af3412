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

}  // namespace brevant
