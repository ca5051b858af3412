// FFT model for SystemVerilog test benches, through DPI-C (shim:
// brevant_dpi.cpp, built into libzeldpi).
//
//   chandle m; string msg; int bexp, ovf;
//   if (brevant_dpi::brevant_dpi_create("nfft_max=10 arch=radix4 scaling=schedule", m, msg) != 0)
//     $fatal(1, "%s", msg);
//   if (brevant_dpi::brevant_dpi_run_words(m, 1024, re, im, 5, sched, -1, 1, yre, yim, bexp, ovf, msg) != 0)
//     $error("%s", msg);
//   else if (msg != "") $warning("%s", msg);
//   brevant_dpi::brevant_dpi_destroy(m);
//
// Settings: key=value pairs separated by blanks or commas, with the readable
// names (nfft_max, arch, input_width, twiddle_width, scaling, rounding,
// float_data, run_time_nfft) or the generics (C_NFFT_MAX, C_ARCH, ...);
// values true/false, whole numbers or words. Keys not given keep the core's
// defaults. A configuration the core refuses returns 1 with the library's
// line ("ERROR:zelfft_v9_0:create_state called with ...").
//
// A frame is the first n elements of re/im (one transform, 2^nfft samples;
// fixed-size arrays may be longer); results X[k] in natural order in the
// first n elements of out_re/out_im. The first `stages` elements of schedule
// are the right shifts of the stages, stage 0 first (read by cores scaled by
// schedule only: pass 0 stages otherwise). nfft -1 takes the
// frame's own length on a run-time-length core and nfft_max otherwise.
// forward 1 forward, 0 inverse transform.
//
// Returns 0 on success (msg then holds the library's warning lines, one per
// line, or is empty), the library's code 1..23 with its error line when a
// check fails, -1 when memory runs out and -2 when the shim refuses the
// arguments (array sizes, words too wide). A failed call writes nothing into
// the arrays (inout, so that elements past the frame, and all of them after
// a failure, keep their values in every simulator) and sets block_exp and
// overflow to 0.
package brevant_dpi;

  import "DPI-C" function int brevant_dpi_create(input string settings, output chandle model,
                                                 output string msg);

  import "DPI-C" function void brevant_dpi_destroy(input chandle model);

  // Points of a transform for nfft (-1: the core's largest), 0 for a null handle.
  import "DPI-C" function int brevant_dpi_points(input chandle model, input int nfft);

  // Width of the result words: input_width, plus nfft_max + 1 for an unscaled
  // core; 32 for single-precision data.
  import "DPI-C" function int brevant_dpi_output_width(input chandle model);

  // Samples as reals: fixed point in [-1, 1) on the input grid, or
  // single-precision values.
  import "DPI-C" function int brevant_dpi_run(input chandle model, input int n, input real re[],
                                              input real im[], input int stages, input int schedule[], input int nfft, input int forward,
                                              inout real out_re[], inout real out_im[],
                                              output int block_exp, output int overflow,
                                              output string msg);

  // Samples as the words of the core's ports: two's-complement values with
  // the last place 2^-(input_width - 1) in and out (results are input_width
  // bits, or wider on an unscaled core), or IEEE single-precision bit
  // patterns on a floating-point core.
  import "DPI-C" function int brevant_dpi_run_words(input chandle model, input int n,
                                                    input longint re[], input longint im[],
                                                    input int stages, input int schedule[],
                                                    input int nfft, input int forward,
                                                    inout longint out_re[], inout longint out_im[],
                                                    output int block_exp, output int overflow,
                                                    output string msg);

endpackage
