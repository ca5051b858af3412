// The two halves of the demo host.
#pragma once

// FFT model: configurations, transforms and their accuracy.
void run_fft_demo();
// CORDIC model: configurations and results against the exact values.
void run_cordic_demo();
