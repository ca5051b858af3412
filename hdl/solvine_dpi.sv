// CORDIC model for SystemVerilog test benches, through DPI-C (shim:
// solvine_dpi.cpp, built into libzeldpi).
//
//   chandle m; string msg;
//   if (solvine_dpi::solvine_dpi_create("function=sin_cos input_width=16 output_width=16", m, msg) != 0)
//     $fatal(1, "%s", msg);
//   if (solvine_dpi::solvine_dpi_run(m, n, phase, phase, phase, cos_w, sin_w, msg) != 0) $error("%s", msg);
//   solvine_dpi::solvine_dpi_destroy(m);
//
// Settings: blank-separated key=value pairs with the readable names
// (function, coarse_rotation, data_format, phase_format, input_width,
// output_width, iterations, precision, rounding, gain_compensation, name,
// reserved) or the record's fields (CordicFunction, InputWidth, ...); values
// true/false, whole numbers, words, or "quoted text". Keys not given keep
// the core's defaults.
//
// Samples are the two's-complement values of the hardware words. A block
// runs the configured function on the first count elements of the arrays
// (fixed-size arrays may be longer than the block); inputs and outputs, in
// order, are:
//   rotate     in0 x, in1 y, in2 phase   -> out0 x,         out1 y
//   translate  in0 x, in1 y              -> out0 magnitude, out1 phase
//   sin_cos    in0 phase                 -> out0 cos,       out1 sin
//   atan       in0 x, in1 y              -> out0 phase
//   sinh_cosh  in0 phase                 -> out0 cosh,      out1 sinh
//   atanh      in0 x, in1 y              -> out0 phase
//   sqrt       in0 x                     -> out0 root
// Arrays the function does not use are not touched (pass any array there);
// the ones it uses need at least count elements.
//
// Every function that can fail returns 0 on success and 1 on failure, with
// the model's message in msg (for a configuration the core refuses, its own
// text, e.g. "Invalid value for InputWidth"); a failed run writes nothing.
// The output arrays are inout so that elements past the block, and all of
// them after a failure, keep their values in every simulator.
package solvine_dpi;

  import "DPI-C" function int solvine_dpi_create(input string settings, output chandle model,
                                                 output string msg);

  import "DPI-C" function void solvine_dpi_destroy(input chandle model);

  // The configured function, 0 rotate .. 6 sqrt (-1 for a null handle).
  import "DPI-C" function int solvine_dpi_function(input chandle model);

  // Words as longint.
  import "DPI-C" function int solvine_dpi_run(input chandle model, input int count,
                                              input longint in0[],
                                              input longint in1[], input longint in2[],
                                              inout longint out0[], inout longint out1[],
                                              output string msg);

  // The same with the words as integer-valued reals.
  import "DPI-C" function int solvine_dpi_run_real(input chandle model, input int count,
                                                   input real in0[],
                                                   input real in1[], input real in2[],
                                                   inout real out0[], inout real out1[],
                                                   output string msg);

endpackage
