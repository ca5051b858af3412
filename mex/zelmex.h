/* Helpers shared by the two MEX functions: scratch memory released before any
 * error is raised, the configuration struct read into settings, and integer
 * values read exactly from any numeric class. C against mex.h only. */
#ifndef ZELMEX_H
#define ZELMEX_H

#include "mex.h"
#include "zelcommon_c.h"

#include <ctype.h>
#include <math.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

/* Every mxMalloc'd block and created array of one call. Errors are raised only
 * after zm_release, so a call that fails holds nothing. */
typedef struct {
  void *blocks[16];
  int block_count;
  mxArray *arrays[8];
  int array_count;
} zm_scratch;

static inline void zm_fail(zm_scratch *s, const char *id, const char *format, ...);

static inline void *zm_alloc(zm_scratch *s, size_t count, size_t size) {
  /* mxCalloc ends the call with an error of its own when memory runs out;
     everything held at that point is mx memory, released with the call. */
  void *p;
  if (s->block_count == (int)(sizeof s->blocks / sizeof s->blocks[0]))
    zm_fail(s, "zelcores:internal", "too many scratch blocks");
  p = mxCalloc(count ? count : 1, size);
  s->blocks[s->block_count++] = p;
  return p;
}

static inline mxArray *zm_keep(zm_scratch *s, mxArray *a) {
  if (s->array_count == (int)(sizeof s->arrays / sizeof s->arrays[0])) {
    mxDestroyArray(a);
    zm_fail(s, "zelcores:internal", "too many output arrays");
  }
  s->arrays[s->array_count++] = a;
  return a;
}

/* Frees the scratch blocks; destroys the kept arrays too when `arrays` is set
 * (on success they become the outputs). */
static inline void zm_release(zm_scratch *s, int arrays) {
  int i;
  for (i = 0; i < s->block_count; ++i) mxFree(s->blocks[i]);
  s->block_count = 0;
  if (arrays)
    for (i = 0; i < s->array_count; ++i) mxDestroyArray(s->arrays[i]);
  s->array_count = 0;
}

/* Releases everything, then raises the error. Does not return. */
static inline void zm_fail(zm_scratch *s, const char *id, const char *format, ...) {
  char message[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  zm_release(s, 1);
  mexErrMsgIdAndTxt(id, "%s", message);
}

/* A complex double array of the given size, zeros, for the caller to fill. */
static inline mxArray *zm_complex_array(mwSize ndims, const mwSize *dims) {
#if MX_HAS_INTERLEAVED_COMPLEX
  /* Octave 7 gives complex arrays made by the interleaved API room for their
     real parts only: hand the array storage of the right size instead. */
  size_t count = 1;
  mwSize i;
  mxArray *a = mxCreateNumericMatrix(0, 0, mxDOUBLE_CLASS, mxCOMPLEX);
  for (i = 0; i < ndims; ++i) count *= dims[i];
  mxSetComplexDoubles(a, (mxComplexDouble *)mxCalloc(count ? count : 1, sizeof(mxComplexDouble)));
  mxSetDimensions(a, dims, ndims);
  return a;
#else
  return mxCreateNumericArray(ndims, dims, mxDOUBLE_CLASS, mxCOMPLEX);
#endif
}

/* Element i of a real numeric array as an exact integer: 1 on success, 0 when
 * the value is not an integer (a fraction, NaN, infinity, beyond int64). */
static inline int zm_integer_at(const mxArray *a, size_t i, int64_t *value) {
  const void *data = mxGetData(a);
  double d;
  switch (mxGetClassID(a)) {
    case mxINT8_CLASS: *value = ((const int8_t *)data)[i]; return 1;
    case mxUINT8_CLASS: *value = ((const uint8_t *)data)[i]; return 1;
    case mxINT16_CLASS: *value = ((const int16_t *)data)[i]; return 1;
    case mxUINT16_CLASS: *value = ((const uint16_t *)data)[i]; return 1;
    case mxINT32_CLASS: *value = ((const int32_t *)data)[i]; return 1;
    case mxUINT32_CLASS: *value = ((const uint32_t *)data)[i]; return 1;
    case mxINT64_CLASS: *value = ((const int64_t *)data)[i]; return 1;
    case mxUINT64_CLASS:
      if (((const uint64_t *)data)[i] > (uint64_t)INT64_MAX) return 0;
      *value = (int64_t)((const uint64_t *)data)[i];
      return 1;
    case mxDOUBLE_CLASS: d = ((const double *)data)[i]; break;
    case mxSINGLE_CLASS: d = ((const float *)data)[i]; break;
    default: return 0;
  }
  /* -2^63 <= d < 2^63 and whole (NaN fails every comparison) */
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || d != floor(d)) return 0;
  *value = (int64_t)d;
  return 1;
}

/* The values of a real double array, in either complex layout of the API. */
static inline double *zm_doubles(const mxArray *a) {
#if MX_HAS_INTERLEAVED_COMPLEX
  return mxGetDoubles(a);
#else
  return mxGetPr(a);
#endif
}

static inline int zm_is_real_numeric(const mxArray *a) {
  return mxIsNumeric(a) && !mxIsComplex(a) && !mxIsSparse(a);
}

/* A real integer scalar of any numeric class. */
static inline int zm_integer_scalar(const mxArray *a, int64_t *value) {
  return zm_is_real_numeric(a) && mxGetNumberOfElements(a) == 1 && zm_integer_at(a, 0, value);
}

/* A switch: a logical scalar or the numbers 0 and 1. */
static inline int zm_switch_scalar(const mxArray *a, int *on) {
  int64_t v;
  if (mxIsLogicalScalar(a)) {
    *on = mxIsLogicalScalarTrue(a) ? 1 : 0;
    return 1;
  }
  if (zm_integer_scalar(a, &v) && (v == 0 || v == 1)) {
    *on = (int)v;
    return 1;
  }
  return 0;
}

/* Option names compare without regard to case, as MATLAB's own do. */
static inline int zm_same_word(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b)
    if (tolower((unsigned char)*a) != tolower((unsigned char)*b)) return 0;
  return *a == *b;
}

static inline int zm_is_text(const mxArray *a) {
  return mxIsChar(a) && (mxGetM(a) == 1 || mxGetNumberOfElements(a) == 0) && mxGetNumberOfDimensions(a) == 2;
}

/* Reads the configuration argument: a 1x1 struct whose fields are settings
 * (texts, logicals, integer scalars), or [] for the hardware's defaults.
 * (Octave puts the function's name before every message; MATLAB shows it
 * above: messages do not repeat it.) */
static inline zel_setting *zm_settings(zm_scratch *s, const mxArray *cfg, size_t *count) {
  zel_setting *settings;
  char *pool, *next;
  size_t pool_size = 0;
  int i, fields;
  *count = 0;
  if (mxIsEmpty(cfg) && mxIsDouble(cfg)) return NULL;
  if (!mxIsStruct(cfg) || mxGetNumberOfElements(cfg) != 1)
    zm_fail(s, "zelcores:badarg", "cfg must be a 1x1 struct of settings (or [] for the defaults)");
  fields = mxGetNumberOfFields(cfg);
  for (i = 0; i < fields; ++i) {
    const mxArray *v = mxGetFieldByNumber(cfg, 0, i);
    if (v && zm_is_text(v)) pool_size += mxGetNumberOfElements(v) + 1;
  }
  settings = (zel_setting *)zm_alloc(s, (size_t)fields, sizeof *settings);
  pool = next = (char *)zm_alloc(s, pool_size, 1);
  for (i = 0; i < fields; ++i) {
    const char *key = mxGetFieldNameByNumber(cfg, i);
    const mxArray *v = mxGetFieldByNumber(cfg, 0, i);
    zel_setting *t = &settings[i];
    int on;
    t->key = key;
    t->text = NULL;
    t->integer = 0;
    if (v && zm_is_text(v)) {
      const size_t n = mxGetNumberOfElements(v) + 1;
      if (mxGetString(v, next, n) != 0) /* characters that are not plain text */
        zm_fail(s, "zelcores:badarg", "cfg.%s is not a plain text", key);
      t->kind = ZEL_VALUE_TEXT;
      t->text = next;
      next += n;
    } else if (v && mxIsLogical(v) && zm_switch_scalar(v, &on)) {
      t->kind = ZEL_VALUE_BOOL;
      t->integer = on;
    } else if (v && zm_integer_scalar(v, &t->integer)) {
      t->kind = ZEL_VALUE_INT;
    } else {
      zm_fail(s, "zelcores:badarg", "cfg.%s must be a text, a logical scalar or an integer scalar", key);
    }
  }
  (void)pool;
  *count = (size_t)fields;
  return settings;
}

#endif
