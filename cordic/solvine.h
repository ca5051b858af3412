/*
 * solvine: bit-accurate model of the cordic v6.0 core.
 *
 * A host fills a configuration record (start from default_config), creates a
 * model with a message callback, passes blocks of samples in array containers
 * and destroys the model. Every function returns 0 on success and 1 on
 * failure; no exception leaves the library. Plain C; the record layouts are
 * fixed.
 */
#ifndef SOLVINE_H
#define SOLVINE_H

#include <stddef.h>
#include <stdint.h>

#if defined(SOLVINE_BUILDING)
#define SOLVINE_API __attribute__((visibility("default")))
#else
#define SOLVINE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int zelip_status;     /* 0 success, 1 failure */
typedef double zelip_real;    /* every sample is an integer-valued double */

typedef struct zelip_complex {
  zelip_real re;
  zelip_real im;
} zelip_complex;

/* Message callback: error is 1 for errors, 0 for warnings and notes; the text
 * is valid only during the call. */
typedef void (*zelip_msg_handler)(void *handle, int error, const char *msg);

/* Core configuration. All integer fields are unsigned 32-bit. */
typedef struct zelip_cordic_v6_0_config {
  const char *name;       /* instance label, prefixes processing messages: a
                             NUL-terminated text, or NULL for an empty one */
  uint32_t CordicFunction;/* 0 rotate, 1 translate, 2 sin_cos, 3 atan, 4 sinh_cosh, 5 atanh, 6 sqrt */
  uint32_t CoarseRotate;  /* 1: quadrant pre-rotation and post-correction */
  uint32_t DataFormat;    /* 0, 1 or 2; 2 is the integer radicand format of sqrt */
  uint32_t PhaseFormat;   /* 0 radians, 1 scaled radians (pi = 1) */
  uint32_t InputWidth;    /* 8..48 */
  uint32_t OutputWidth;   /* 8..48, or InputWidth/2+1 for sqrt with DataFormat 2 */
  uint32_t Iterations;    /* 0: derived */
  uint32_t Precision;     /* internal width; 0: derived */
  uint32_t RoundMode;     /* 0 truncate, 1 half up, 2 half away from zero, 3 nearest:
                             ties >= 0 to even, negative ties to odd */
  uint32_t ScaleComp;     /* 0 none; 1, 2, 3 gain compensation */
  uint32_t Reserved;      /* stored and returned, no effect */
} zelip_cordic_v6_0_config;

/* The model object, opaque to the host. */
typedef struct cordic_v6_0 zelip_cordic_v6_0_model;

/* Array containers of samples (defined with their functions in
 * solvine_array.h, included at the end). Input arrays are only read, output
 * arrays only written. */
struct zelip_array_real;
struct zelip_array_complex;

/* Fills the default configuration ("Default configuration", rotate, 16-bit
 * words, coarse rotation on). Returns 1 when config is NULL. */
SOLVINE_API zelip_status zelip_cordic_v6_0_default_config(zelip_cordic_v6_0_config *config);

/* The model version, "6.0"; the same static text on every call. */
SOLVINE_API const char *zelip_cordic_v6_0_get_version(void);

/* Creates a model from a copy of *config (the host may free config and its
 * name text afterwards). An invalid configuration sends (handle, 1, text of
 * the first failing check) to handler and gives NULL; any other failure sends
 * "Uncaught exception in cordic_v6_0 model". A NULL config gives NULL and no
 * message; a NULL handler drops every message of this model. */
SOLVINE_API zelip_cordic_v6_0_model *zelip_cordic_v6_0_create(const zelip_cordic_v6_0_config *config,
                                                              zelip_msg_handler handler, void *handle);

/* Destroys the model and its logger. Returns 1 for a NULL model. */
SOLVINE_API zelip_status zelip_cordic_v6_0_destroy(zelip_cordic_v6_0_model *model);

/* Copies the model's configuration into *config; config->name then points
 * into the model's own copy of the name, valid until destroy. Returns 1 if
 * either pointer is NULL. */
SOLVINE_API zelip_status zelip_cordic_v6_0_get_config(const zelip_cordic_v6_0_model *model,
                                                      zelip_cordic_v6_0_config *config);

/* Processes count samples: sample k is read from index k of the input arrays
 * the function code (0..6, as CordicFunction) needs and written to index k of
 * the outputs. Needed arrays: 0 cartin, phasein, cartout; 1 cartin, magout,
 * phaseout; 2 and 4 phasein, cartout; 3 and 5 cartin, phaseout; 6 magin,
 * magout. A bad code (or one other than the configured function), a missing
 * needed array or a first dimension other than count gives 1 with no message
 * and writes nothing. Outputs that do not fit (index not below the output's
 * data_size) are skipped.
 *
 * Partial results: samples are processed in order, and the first input sample
 * that cannot be read (index not below the input's data_size, or a value that
 * is not a finite number) stops the block there. The call then returns 1
 * after one message "<name> ERROR: Problem reading data from <array>"
 * (cartin, phasein or magin), and samples 0..k-1 before the unreadable sample
 * k stay written in the outputs; samples k and later are left as they were.
 * An exception thrown by an element slot of a host's operations table stops
 * the block the same way, with "<name> ERROR: Uncaught exception in
 * cordic_v6_0 model". No other failure of the interface writes anything. */
SOLVINE_API zelip_status zelip_cordic_v6_0_data_do(const zelip_cordic_v6_0_model *model, uint32_t function,
                                                   const struct zelip_array_real *magin,
                                                   const struct zelip_array_real *phasein,
                                                   const struct zelip_array_complex *cartin,
                                                   struct zelip_array_real *magout,
                                                   struct zelip_array_real *phaseout,
                                                   struct zelip_array_complex *cartout, size_t count);

/* data_do with code 0 to 6 and only the arrays named. */
SOLVINE_API zelip_status zelip_cordic_v6_0_rotate(const zelip_cordic_v6_0_model *model,
                                                  const struct zelip_array_complex *cartin,
                                                  const struct zelip_array_real *phasein,
                                                  struct zelip_array_complex *cartout, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_translate(const zelip_cordic_v6_0_model *model,
                                                     const struct zelip_array_complex *cartin,
                                                     struct zelip_array_real *magout,
                                                     struct zelip_array_real *phaseout, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_sin_cos(const zelip_cordic_v6_0_model *model,
                                                   const struct zelip_array_real *phasein,
                                                   struct zelip_array_complex *cartout, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_atan(const zelip_cordic_v6_0_model *model,
                                                const struct zelip_array_complex *cartin,
                                                struct zelip_array_real *phaseout, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_sinh_cosh(const zelip_cordic_v6_0_model *model,
                                                     const struct zelip_array_real *phasein,
                                                     struct zelip_array_complex *cartout, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_atanh(const zelip_cordic_v6_0_model *model,
                                                 const struct zelip_array_complex *cartin,
                                                 struct zelip_array_real *phaseout, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_sqrt(const zelip_cordic_v6_0_model *model,
                                                const struct zelip_array_real *magin,
                                                struct zelip_array_real *magout, size_t count);

#ifdef __cplusplus
}
#endif

/* The array containers and their functions, so that a host needs only this
 * header. Included last: the array header builds on the types above. */
#include "solvine_array.h"

#endif /* SOLVINE_H */
