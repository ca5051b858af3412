/* [X, block_exp, overflow] = brevant_fft(cfg, x, schedule, 'nfft', n, 'inverse', tf)
 *
 * The FFT core's words from Octave or MATLAB: columns of x are frames (a row
 * vector is one frame), X has the shape of x, block_exp and overflow hold one
 * value per frame. The help text is brevant_fft.m. C against mex.h only. */
#include "zelmex.h"

#define FN "brevant_fft"

typedef struct {
  const mxArray *schedule; /* NULL or empty: none */
  int64_t nfft;            /* -1: the frame's own length, or C_NFFT_MAX */
  int inverse;
} options;

static void read_options(zm_scratch *s, int nrhs, const mxArray *prhs[], options *o) {
  int i = 2;
  o->schedule = NULL;
  o->nfft = -1;
  o->inverse = 0;
  if (nrhs > 2 && !mxIsChar(prhs[2])) o->schedule = prhs[i++];
  if ((nrhs - i) % 2 != 0) zm_fail(s, "zelcores:badarg", "options come in name-value pairs ('nfft', n, 'inverse', tf)");
  for (; i < nrhs; i += 2) {
    char name[16];
    if (!zm_is_text(prhs[i]) || mxGetString(prhs[i], name, sizeof name) != 0)
      zm_fail(s, "zelcores:badarg", "argument %d must be an option name: 'nfft' or 'inverse'", i + 1);
    if (zm_same_word(name, "nfft")) {
      if (!zm_integer_scalar(prhs[i + 1], &o->nfft) || o->nfft < 0 || o->nfft > INT32_MAX)
        zm_fail(s, "zelcores:badarg", "'nfft' must be a non-negative integer scalar (log2 of the transform length)");
    } else if (zm_same_word(name, "inverse")) {
      if (!zm_switch_scalar(prhs[i + 1], &o->inverse))
        zm_fail(s, "zelcores:badarg", "'inverse' must be true or false");
    } else {
      zm_fail(s, "zelcores:badarg", "unknown option '%s': expected 'nfft' or 'inverse'", name);
    }
  }
}

/* The schedule as int32 words: one vector for every frame, or one column per frame. */
static int32_t *read_schedule(zm_scratch *s, const mxArray *a, size_t frames, int32_t *size, int *per_frame) {
  size_t rows, cols, count, k;
  int32_t *words;
  *size = 0;
  *per_frame = 0;
  if (!a || mxIsEmpty(a)) return NULL;
  if (!zm_is_real_numeric(a) || mxGetNumberOfDimensions(a) != 2)
    zm_fail(s, "zelcores:badarg", "schedule must be a real numeric vector (one right shift per stage), "
                                  "or a matrix with one column per frame");
  rows = mxGetM(a);
  cols = mxGetN(a);
  count = rows * cols;
  if (rows > 1 && cols > 1) {
    if (cols != frames)
      zm_fail(s, "zelcores:badarg", "schedule has %zu columns but x has %zu frames "
                                    "(a vector serves every frame)", cols, frames);
    *per_frame = 1;
  }
  if ((*per_frame ? rows : count) > (size_t)INT32_MAX)
    zm_fail(s, "zelcores:badarg", "schedule is too long");
  words = (int32_t *)zm_alloc(s, count, sizeof *words);
  for (k = 0; k < count; ++k) {
    int64_t v = 0;
    if (!zm_integer_at(a, k, &v) || v < INT32_MIN || v > INT32_MAX)
      zm_fail(s, "zelcores:badarg", "schedule(%zu) must be an integer right shift", k + 1);
    words[k] = (int32_t)v;
  }
  *size = (int32_t)(*per_frame ? rows : count);
  return words;
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  zm_scratch s = {{0}, 0, {0}, 0};
  options o;
  const mxArray *x;
  size_t n, frames, total, k, setting_count, failed_frame = 0;
  zel_setting *settings;
  zel_fft_batch b;
  mxArray *X, *exps, *flags;
  double *in_re, *in_im, *out_re, *out_im;
  int status, code = 0;
  char warnings[4096], err[1024];

  if (nrhs < 2)
    zm_fail(&s, "zelcores:badarg", "usage: [X, block_exp, overflow] = " FN "(cfg, x, schedule, 'nfft', n, 'inverse', tf)");
  if (nlhs > 3) zm_fail(&s, "zelcores:badarg", "at most 3 outputs (X, block_exp, overflow)");
  x = prhs[1];
  if (!mxIsDouble(x) || mxIsSparse(x) || mxGetNumberOfDimensions(x) != 2)
    zm_fail(&s, "zelcores:badarg", "x must be a full double vector or matrix (real or complex), "
                                   "one frame per column");
  read_options(&s, nrhs, prhs, &o);

  /* A row vector is one frame, as for the built-in fft. */
  if (mxGetM(x) == 1 && mxGetN(x) > 1) {
    n = mxGetN(x);
    frames = 1;
  } else {
    n = mxGetM(x);
    frames = mxGetN(x);
  }
  if (n > (size_t)INT32_MAX) zm_fail(&s, "zelcores:badarg", "x has too many rows");
  total = n * frames;

  settings = zm_settings(&s, prhs[0], &setting_count);
  memset(&b, 0, sizeof b);
  b.schedule = read_schedule(&s, o.schedule, frames, &b.schedule_size, &b.schedule_per_frame);

  X = zm_keep(&s, zm_complex_array(2, mxGetDimensions(x)));
  exps = zm_keep(&s, mxCreateDoubleMatrix(1, frames, mxREAL));
  flags = zm_keep(&s, mxCreateDoubleMatrix(1, frames, mxREAL));
#if MX_HAS_INTERLEAVED_COMPLEX
  {
    /* The model takes split parts: copy in and out. */
    in_re = (double *)zm_alloc(&s, total, sizeof(double));
    in_im = (double *)zm_alloc(&s, total, sizeof(double));
    out_re = (double *)zm_alloc(&s, total, sizeof(double));
    out_im = (double *)zm_alloc(&s, total, sizeof(double));
    if (mxIsComplex(x)) {
      const mxComplexDouble *c = mxGetComplexDoubles(x);
      for (k = 0; k < total; ++k) in_re[k] = c[k].real, in_im[k] = c[k].imag;
    } else if (total > 0) {
      memcpy(in_re, mxGetDoubles(x), total * sizeof(double));
    }
  }
#else
  in_re = mxGetPr(x);
  in_im = mxIsComplex(x) ? mxGetPi(x) : (double *)zm_alloc(&s, total, sizeof(double));
  out_re = mxGetPr(X);
  out_im = mxGetPi(X);
#endif
  b.frames = frames;
  b.n = (int32_t)n;
  b.re = in_re;
  b.im = in_im;
  b.nfft = (int32_t)o.nfft;
  b.forward = !o.inverse;
  b.out_re = out_re;
  b.out_im = out_im;
  b.block_exp = (int32_t *)zm_alloc(&s, frames, sizeof(int32_t));
  b.overflow = (int32_t *)zm_alloc(&s, frames, sizeof(int32_t));

  status = zel_fft_run(settings, setting_count, &b, 0, &failed_frame, &code, warnings, sizeof warnings, err,
                       sizeof err);

  if (status == ZEL_OK) {
    double *e = zm_doubles(exps), *f = zm_doubles(flags);
#if MX_HAS_INTERLEAVED_COMPLEX
    mxComplexDouble *c = mxGetComplexDoubles(X);
    for (k = 0; k < total; ++k) c[k].real = out_re[k], c[k].imag = out_im[k];
#endif
    for (k = 0; k < frames; ++k) e[k] = b.block_exp[k], f[k] = b.overflow[k];
  }
  zm_release(&s, status != ZEL_OK);

  {
    /* One warning per distinct line of the call (the lines carry no frame). */
    char *line = warnings, *end;
    while ((end = strchr(line, '\n')) != NULL) {
      *end = '\0';
      mexWarnMsgIdAndTxt("zelcores:fft:warning", "%s", line);
      line = end + 1;
    }
  }
  switch (status) {
    case ZEL_OK:
      break;
    case ZEL_ERR_FRAME: {
      char id[32];
      snprintf(id, sizeof id, "zelcores:fft:code%d", code);
      if (frames > 1) mexErrMsgIdAndTxt(id, "%s (column %zu of x)", err, failed_frame + 1);
      mexErrMsgIdAndTxt(id, "%s", err);
      break;
    }
    case ZEL_ERR_SETTING:
    case ZEL_ERR_CONFIG:
      mexErrMsgIdAndTxt("zelcores:fft:config", "%s", err);
      break;
    case ZEL_ERR_MEMORY:
      mexErrMsgIdAndTxt("zelcores:nomem", "%s", err);
      break;
    default:
      mexErrMsgIdAndTxt("zelcores:internal", "%s", err);
  }
  plhs[0] = X;
  if (nlhs > 1) plhs[1] = exps; else mxDestroyArray(exps);
  if (nlhs > 2) plhs[2] = flags; else mxDestroyArray(flags);
}
