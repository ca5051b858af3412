/* A plain C interface over the shared configuration names and the two models,
 * for hosts written in C (the MEX functions of mex/).
 *
 * Every call is self-contained: settings are passed as a list of (key, value)
 * pairs, models live only for the call, and nothing is printed. Messages come
 * back in caller-supplied buffers (always NUL-terminated when their size is not
 * 0, truncated to fit), so a host that raises an error right after a call (and
 * so never returns to free anything) leaks nothing.
 *
 * Keys and values are those of common/settings.h: readable names (nfft_max,
 * arch, ...; function, input_width, ...) or the records' own field names
 * (C_NFFT_MAX, ...; CordicFunction, ...), applied in order over the hardware's
 * default record. A key or value the record cannot hold gives ZEL_ERR_SETTING
 * with a message naming the key; a record the library refuses gives
 * ZEL_ERR_CONFIG with the library's own text.
 */
#ifndef ZELCOMMON_C_H
#define ZELCOMMON_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  ZEL_OK = 0,
  ZEL_ERR_SETTING = 1, /* a key or value the record cannot hold */
  ZEL_ERR_CONFIG = 2,  /* the library refused the record */
  ZEL_ERR_FRAME = 3,   /* an FFT frame failed: the library's line and its code */
  ZEL_ERR_DATA = 4,    /* a CORDIC sample could not be processed: the model's message */
  ZEL_ERR_MEMORY = 5,  /* out of memory */
  ZEL_ERR_ARGUMENT = 6 /* a null pointer or a size that cannot be */
};

typedef enum { ZEL_VALUE_BOOL, ZEL_VALUE_INT, ZEL_VALUE_TEXT } zel_value_kind;

typedef struct {
  const char *key;
  zel_value_kind kind;
  int64_t integer;  /* ZEL_VALUE_BOOL (0 or 1) and ZEL_VALUE_INT */
  const char *text; /* ZEL_VALUE_TEXT, NUL-terminated */
} zel_setting;

/* ---- FFT ---- */

/* Frames one after another: frame f at offset f * n of every sample array. */
typedef struct {
  size_t frames;
  int32_t n;
  const double *re;
  const double *im;
  const int32_t *schedule; /* schedule_size values, or frames * schedule_size; may be NULL */
  int32_t schedule_size;
  int schedule_per_frame;
  int32_t nfft; /* -1: the frame's own length on a run-time-length core, else C_NFFT_MAX */
  int forward;  /* 1 forward, 0 inverse */
  double *out_re;
  double *out_im;
  int32_t *block_exp; /* one per frame */
  int32_t *overflow;  /* one per frame */
} zel_fft_batch;

/* Runs every frame (over `threads` workers, 0: one per core; results do not
 * depend on it). Returns ZEL_OK, or ZEL_ERR_FRAME with *failed_frame and
 * *code set to the first frame that failed and its status (1..23) and err
 * holding its line, or another ZEL_ERR_* with err holding the message.
 * `warnings` receives the distinct warning lines of the frames up to the
 * first failed one, in the order first seen, each ended by a line feed
 * (whole lines only). */
int zel_fft_run(const zel_setting *settings, size_t setting_count, const zel_fft_batch *batch, unsigned threads,
                size_t *failed_frame, int *code, char *warnings, size_t warnings_size, char *err,
                size_t err_size);

/* ---- CORDIC ---- */

/* Checks the settings and the record (as create does) and gives the
 * configured function, 0..6. */
int zel_cordic_function(const zel_setting *settings, size_t setting_count, uint32_t *function, char *err,
                        size_t err_size);

/* The function's name ("rotate" ... "sqrt"), its inputs and outputs in call
 * order ("x", "y", "phase", ...); NULL or 0 for a code out of range. */
const char *zel_cordic_function_name(uint32_t function);
size_t zel_cordic_input_count(uint32_t function);
size_t zel_cordic_output_count(uint32_t function);
const char *zel_cordic_input_name(uint32_t function, size_t index);
const char *zel_cordic_output_name(uint32_t function, size_t index);

/* Runs count samples of the configured function: inputs and outputs hold one
 * array of count words per argument, in call order. ZEL_ERR_DATA carries the
 * model's "<name> ERROR: <text>" message. */
int zel_cordic_run(const zel_setting *settings, size_t setting_count, const double *const *inputs,
                   double *const *outputs, size_t count, unsigned threads, char *err, size_t err_size);

#ifdef __cplusplus
}
#endif

#endif
