/* [out1, out2] = solvine_cordic(cfg, in1, in2, in3)
 *
 * The CORDIC core's words from Octave or MATLAB: the function cfg names sets
 * the inputs and outputs (rotate: x, y, phase -> x, y; translate: x, y ->
 * magnitude, phase; sin_cos: phase -> cos, sin; atan: x, y -> phase;
 * sinh_cosh: phase -> cosh, sinh; atanh: x, y -> phase; sqrt: x -> root).
 * Words are integer values held as doubles or int64; the outputs take the
 * class and shape of the first input. The help text is solvine_cordic.m.
 * C against mex.h only. */
#include "zelmex.h"

#define FN "solvine_cordic"

/* Doubles beyond 2^53 are no longer every integer: int64 words past it
   would reach the model changed. */
#define WORD_LIMIT 9007199254740992.0

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  zm_scratch s = {{0}, 0, {0}, 0};
  size_t setting_count, inputs, outputs, count, i, k;
  zel_setting *settings;
  uint32_t function = 0;
  const mxArray *first;
  int as_int64, status;
  const double *in[3] = {0, 0, 0};
  double *out[2] = {0, 0};
  mxArray *result[2] = {0, 0};
  char err[1024];

  if (nrhs < 1) zm_fail(&s, "zelcores:badarg", "usage: [out1, out2] = " FN "(cfg, in1, in2, in3)");
  settings = zm_settings(&s, prhs[0], &setting_count);
  status = zel_cordic_function(settings, setting_count, &function, err, sizeof err);
  if (status == ZEL_ERR_SETTING || status == ZEL_ERR_CONFIG) zm_fail(&s, "zelcores:cordic:config", "%s", err);
  if (status != ZEL_OK) zm_fail(&s, status == ZEL_ERR_MEMORY ? "zelcores:nomem" : "zelcores:internal", "%s", err);

  inputs = zel_cordic_input_count(function);
  outputs = zel_cordic_output_count(function);
  if ((size_t)(nrhs - 1) != inputs) {
    char names[64] = "";
    for (i = 0; i < inputs; ++i) {
      strcat(names, i == 0 ? "" : i + 1 == inputs ? " and " : ", ");
      strcat(names, zel_cordic_input_name(function, i));
    }
    zm_fail(&s, "zelcores:badarg", "%s takes %zu input%s (%s) after cfg, got %d",
            zel_cordic_function_name(function), inputs, inputs == 1 ? "" : "s", names, nrhs - 1);
  }
  if ((size_t)nlhs > outputs)
    zm_fail(&s, "zelcores:badarg", "%s gives %zu output%s, %d requested", zel_cordic_function_name(function),
            outputs, outputs == 1 ? "" : "s", nlhs);

  first = prhs[1];
  for (i = 0; i < inputs; ++i) {
    const mxArray *a = prhs[i + 1];
    const char *name = zel_cordic_input_name(function, i);
    if (!(mxIsDouble(a) || mxIsInt64(a)) || mxIsComplex(a) || mxIsSparse(a))
      zm_fail(&s, "zelcores:badarg", "%s (argument %zu) must be a real double or int64 array of words", name, i + 2);
    if (mxGetNumberOfDimensions(a) != mxGetNumberOfDimensions(first) ||
        memcmp(mxGetDimensions(a), mxGetDimensions(first), mxGetNumberOfDimensions(a) * sizeof(mwSize)) != 0)
      zm_fail(&s, "zelcores:badarg", "%s (argument %zu) must have the size of %s", name, i + 2,
              zel_cordic_input_name(function, 0));
  }
  count = mxGetNumberOfElements(first);

  for (i = 0; i < inputs; ++i) {
    const mxArray *a = prhs[i + 1];
    const char *name = zel_cordic_input_name(function, i);
    if (mxIsDouble(a)) {
      const double *d = zm_doubles(a);
      /* A fraction is a value, not a word (radians given where words are
         expected): refuse it rather than let the model truncate it.
         NaN and infinities go on: the model reports them as unreadable. */
      for (k = 0; k < count; ++k)
        if (isfinite(d[k]) && d[k] != floor(d[k]))
          zm_fail(&s, "zelcores:badarg", "%s(%zu) = %.17g is not an integer word", name, k + 1, d[k]);
      in[i] = d;
    } else {
      const int64_t *w = (const int64_t *)mxGetData(a);
      double *d = (double *)zm_alloc(&s, count, sizeof(double));
      for (k = 0; k < count; ++k) {
        if ((double)w[k] > WORD_LIMIT || (double)w[k] < -WORD_LIMIT)
          zm_fail(&s, "zelcores:badarg", "%s(%zu) = %lld is beyond 2^53, wider than any word", name, k + 1,
                  (long long)w[k]);
        d[k] = (double)w[k];
      }
      in[i] = d;
    }
  }

  as_int64 = mxIsInt64(first);
  for (i = 0; i < outputs; ++i) {
    result[i] = zm_keep(&s, mxCreateNumericArray(mxGetNumberOfDimensions(first), mxGetDimensions(first),
                                                  as_int64 ? mxINT64_CLASS : mxDOUBLE_CLASS, mxREAL));
    out[i] = as_int64 ? (double *)zm_alloc(&s, count, sizeof(double)) : zm_doubles(result[i]);
  }

  status = zel_cordic_run(settings, setting_count, in, out, count, 0, err, sizeof err);
  if (status == ZEL_ERR_DATA) zm_fail(&s, "zelcores:cordic:data", "%s", err);
  if (status == ZEL_ERR_SETTING || status == ZEL_ERR_CONFIG) zm_fail(&s, "zelcores:cordic:config", "%s", err);
  if (status != ZEL_OK) zm_fail(&s, status == ZEL_ERR_MEMORY ? "zelcores:nomem" : "zelcores:internal", "%s", err);

  if (as_int64)
    for (i = 0; i < outputs; ++i) {
      int64_t *w = (int64_t *)mxGetData(result[i]);
      for (k = 0; k < count; ++k) w[k] = (int64_t)out[i][k];
    }
  zm_release(&s, 0);
  for (i = 0; i < outputs; ++i) {
    if (i < (size_t)(nlhs > 1 ? nlhs : 1))
      plhs[i] = result[i];
    else
      mxDestroyArray(result[i]);
  }
}
