// One transform through a model state: the ordered argument checks, input
// preparation, loading into the engine, the run, unloading and the
// conversion of the results to the caller's number scale.
#pragma once

#include "brevant.h"

#include <ostream>

namespace zelfft {

// Returns 0, or the code (1..23) of the first failed check after writing its
// line to `err`. Warnings go to `err` too and do not change the result.
int simulate(korvane_ip_zelfft_v9_0_state *state, const korvane_ip_zelfft_v9_0_inputs &inputs,
             korvane_ip_zelfft_v9_0_outputs *outputs, std::ostream &err);

}  // namespace zelfft
