// zeldemo: a small host of both models, using only their public C headers.
#include "demo_parts.h"

int main() {
  run_fft_demo();
  run_cordic_demo();
  return 0;
}
