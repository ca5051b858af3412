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
  const char *name;       /* instance label, prefixes processing messages */
  uint32_t CordicFunction;/* 0 rotate, 1 translate, 2 sin_cos, 3 atan, 4 sinh_cosh, 5 atanh, 6 sqrt */
  uint32_t CoarseRotate;  /* 1: quadrant pre-rotation and post-correction */
  uint32_t DataFormat;    /* 0, 1 or 2; 2 is the integer radicand format of sqrt */
  uint32_t PhaseFormat;   /* 0 radians, 1 scaled radians (pi = 1) */
  uint32_t InputWidth;    /* 8..48 */
  uint32_t OutputWidth;   /* 8..48, or InputWidth/2+1 for sqrt with DataFormat 2 */
  uint32_t Iterations;    /* 0: derived */
  uint32_t Precision;     /* internal width; 0: derived */
  uint32_t RoundMode;     /* 0 truncate, 1 half up, 2 half away from zero, 3 nearest even */
  uint32_t ScaleComp;     /* 0 none; 1, 2, 3 gain compensation */
  uint32_t Reserved;      /* stored and returned, no effect */
} zelip_cordic_v6_0_config;

/* Fills the default configuration ("Default configuration", rotate, 16-bit
 * words, coarse rotation on). Returns 1 when config is NULL. */
SOLVINE_API zelip_status zelip_cordic_v6_0_default_config(zelip_cordic_v6_0_config *config);

/* The model version, "6.0"; the same static text on every call. */
SOLVINE_API const char *zelip_cordic_v6_0_get_version(void);

#ifdef __cplusplus
}
#endif

#endif /* SOLVINE_H */
