/*
 * brevant: bit-accurate model of the zelfft v9.0 FFT core.
 *
 * A host fills a generics record (start from get_default_generics), builds a
 * state with create_state, runs any number of transforms with
 * bitacc_simulate and releases the state with destroy_state. Errors and
 * warnings are single lines on standard error starting "ERROR:zelfft_v9_0:"
 * or "WARNING:zelfft_v9_0:". Plain C; the record layouts are fixed.
 */
#ifndef BREVANT_H
#define BREVANT_H

#include <stdint.h>

#if defined(BREVANT_BUILDING)
#define BREVANT_API __attribute__((visibility("default")))
#else
#define BREVANT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Core configuration, mirroring the hardware core's parameters. */
typedef struct korvane_ip_zelfft_v9_0_generics {
  int32_t C_NFFT_MAX;      /* log2 of the largest transform length, 3..16 */
  int32_t C_ARCH;          /* 1 radix-4 burst, 2 radix-2 burst, 3 pipelined streaming, 4 radix-2 */
  int32_t C_HAS_NFFT;      /* 1: transform length chosen per call */
  int32_t C_USE_FLT_PT;    /* 1: single-precision data interface */
  int32_t C_INPUT_WIDTH;   /* input sample width, 8..34 (32 with C_USE_FLT_PT) */
  int32_t C_TWIDDLE_WIDTH; /* twiddle factor width, 8..34 */
  int32_t C_HAS_SCALING;   /* 1: scaled (schedule or block floating point) */
  int32_t C_HAS_BFP;       /* 1: block floating point (needs C_HAS_SCALING) */
  int32_t C_HAS_ROUNDING;  /* 1: convergent rounding, 0: truncation */
} korvane_ip_zelfft_v9_0_generics;

/* One block of input samples; never modified (but see floating-point mode:
 * subnormal single-precision samples in the arrays are overwritten by +0.0). */
typedef struct korvane_ip_zelfft_v9_0_inputs {
  int32_t nfft;             /* log2 of the length, read only when C_HAS_NFFT = 1 */
  double *xn_re;            /* real parts, natural order */
  int32_t xn_re_size;       /* must equal N */
  double *xn_im;            /* imaginary parts, natural order */
  int32_t xn_im_size;       /* must equal N */
  int32_t *scaling_sch;     /* right shift of each stage, first stage first */
  int32_t scaling_sch_size;
  int32_t direction;        /* 1 forward, 0 inverse */
} korvane_ip_zelfft_v9_0_inputs;

/* Results of one transform; left untouched when simulate fails. */
typedef struct korvane_ip_zelfft_v9_0_outputs {
  double *xk_re;            /* capacity >= N on entry; X[k] real parts on return */
  int32_t xk_re_size;       /* capacity on entry; N on return */
  double *xk_im;
  int32_t xk_im_size;
  int32_t block_exp;        /* total right shift of a block-floating-point run, else 0 */
  int32_t overflow;         /* 1 when the transform overflowed */
} korvane_ip_zelfft_v9_0_outputs;

/* Opaque model state, owned by the host between create and destroy. Every
 * bitacc_simulate call writes into it (the core's data memory and the length
 * of the transform), so a state must never be shared between threads: give
 * each thread its own. Different states are independent. */
typedef struct korvane_ip_zelfft_v9_0_state korvane_ip_zelfft_v9_0_state;

/* The default configuration: 1024-point radix-4 core, 16-bit data and
 * twiddles, scaled by schedule, truncating. Never fails. */
BREVANT_API korvane_ip_zelfft_v9_0_generics korvane_ip_zelfft_v9_0_get_default_generics(void);

/* Checks the generics and builds a state. Returns NULL, after one error line
 * on standard error, when a check fails; NULL without a line when memory
 * cannot be obtained. */
BREVANT_API korvane_ip_zelfft_v9_0_state *korvane_ip_zelfft_v9_0_create_state(
    korvane_ip_zelfft_v9_0_generics generics);

/* Frees a state and everything it owns. NULL is ignored. */
BREVANT_API void korvane_ip_zelfft_v9_0_destroy_state(korvane_ip_zelfft_v9_0_state *state);

/* Runs one transform. Returns 0 on success; otherwise the code (1..23) of the
 * first failed argument check, after its one error line on standard error,
 * with the outputs untouched; -1 without a line when memory runs out.
 * Warnings (a different nfft with C_HAS_NFFT = 0, samples off the input grid)
 * print a line and do not change the result. */
BREVANT_API int korvane_ip_zelfft_v9_0_bitacc_simulate(korvane_ip_zelfft_v9_0_state *state,
                                                       korvane_ip_zelfft_v9_0_inputs inputs,
                                                       korvane_ip_zelfft_v9_0_outputs *outputs);

#ifdef __cplusplus
}
#endif

#endif /* BREVANT_H */
