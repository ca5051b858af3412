// The CORDIC half of the demo: version and default configuration.
#include "demo_parts.h"
#include "solvine.h"

#include <cstdio>

void run_cordic_demo() {
  std::printf("solvine CORDIC model, version %s\n", zelip_cordic_v6_0_get_version());
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  std::printf("default configuration \"%s\": function %u, coarse rotate %u, input %u bits, output %u bits,"
              " round mode %u, scale comp %u\n",
              c.name, c.CordicFunction, c.CoarseRotate, c.InputWidth, c.OutputWidth, c.RoundMode, c.ScaleComp);
}
