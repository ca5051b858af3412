// FFT scoreboard: reads the stimulus and expected words of a vector set
// ($readmemh files, as a vector tool or a core's own bench writes them),
// runs every frame through the FFT model via DPI and checks that both agree
// word for word, and on the block exponent and overflow flag of each frame.
// With a core in the loop, its outputs take the place of the expected files.
//
// Plusargs (the vector set's manifest has them all):
//   +vectors=DIR         folder with input_re.hex, input_im.hex, output_re.hex,
//                        output_im.hex, frame_block_exp.hex, frame_overflow.hex
//                        and, for cores scaled by schedule, schedule_word.hex
//   +settings=k=v,k=v    the core's configuration (readable names)
//   +frames=F +points=N  frames and points per frame
//   +in_width=W +out_width=W   word widths (32 for single-precision patterns)
//   +nfft=n              transform length as log2 (default -1: the core's own)
//   +stages=S            scaling stages (with schedule_word.hex: 2 bits each)
//   +inverse             inverse transforms
//   +float               words are IEEE single-precision patterns
module tb_fft_scoreboard;
  import brevant_dpi::*;

  localparam int MAX_WORDS = 1 << 18;    // samples per quantity in one set
  localparam int MAX_POINTS = 1 << 16;
  localparam int MAX_FRAMES = 1 << 12;
  localparam logic [63:0] EMPTY = '1;   // no word of at most 63 bits reads as this

  logic [63:0] in_re_m[MAX_WORDS], in_im_m[MAX_WORDS], out_re_m[MAX_WORDS], out_im_m[MAX_WORDS];
  logic [63:0] bexp_m[MAX_FRAMES], ovf_m[MAX_FRAMES], sched_m[MAX_FRAMES];

  longint re[MAX_POINTS], im[MAX_POINTS], yre[MAX_POINTS], yim[MAX_POINTS];
  int schedule[8];

  string dir, settings;
  int frames, points, in_width, out_width, nfft = -1, stages = 0;
  bit inverse, float_words;

  // A two's-complement word of `width` bits.
  function automatic longint word(logic [63:0] v, int width);
    v = v & ((64'd1 << width) - 1);
    return v[width-1] ? longint'(v) - (longint'(1) <<< width) : longint'(v);
  endfunction

  // A sample word: two's complement, or a single-precision bit pattern.
  function automatic longint sample(logic [63:0] v, int width);
    return float_words ? longint'(v[31:0]) : word(v, width);
  endfunction

  int errors = 0;
  task automatic fail(string text);
    errors++;
    if (errors <= 10) $display("MISMATCH %s", text);
  endtask

  // A file of exactly `count` words: the last one read, the next one not.
  function automatic bit ends_at(logic [63:0] last, logic [63:0] next);
    return last != EMPTY && next == EMPTY;
  endfunction

  initial begin
    chandle model;
    string msg;
    int code, bexp, ovf, n;
    if (!$value$plusargs("vectors=%s", dir) || !$value$plusargs("settings=%s", settings) ||
        !$value$plusargs("frames=%d", frames) || !$value$plusargs("points=%d", points) ||
        !$value$plusargs("in_width=%d", in_width) || !$value$plusargs("out_width=%d", out_width))
      $fatal(1, "needs +vectors +settings +frames +points +in_width +out_width");
    void'($value$plusargs("nfft=%d", nfft));
    void'($value$plusargs("stages=%d", stages));
    inverse = $test$plusargs("inverse");
    float_words = $test$plusargs("float");
    n = frames * points;
    if (frames < 1 || points < 1 || points > MAX_POINTS || n > MAX_WORDS || frames > MAX_FRAMES || stages > 8)
      $fatal(1, "%0d frames of %0d points do not fit this bench", frames, points);

    for (int i = 0; i < MAX_WORDS; i++) begin
      in_re_m[i] = EMPTY; in_im_m[i] = EMPTY; out_re_m[i] = EMPTY; out_im_m[i] = EMPTY;
    end
    for (int i = 0; i < MAX_FRAMES; i++) begin
      bexp_m[i] = EMPTY; ovf_m[i] = EMPTY; sched_m[i] = EMPTY;
    end
    $readmemh({dir, "/input_re.hex"}, in_re_m);
    $readmemh({dir, "/input_im.hex"}, in_im_m);
    $readmemh({dir, "/output_re.hex"}, out_re_m);
    $readmemh({dir, "/output_im.hex"}, out_im_m);
    $readmemh({dir, "/frame_block_exp.hex"}, bexp_m);
    $readmemh({dir, "/frame_overflow.hex"}, ovf_m);
    if (stages > 0) $readmemh({dir, "/schedule_word.hex"}, sched_m);
    if (!ends_at(in_re_m[n-1], n < MAX_WORDS ? in_re_m[n] : EMPTY) ||
        !ends_at(in_im_m[n-1], n < MAX_WORDS ? in_im_m[n] : EMPTY) ||
        !ends_at(out_re_m[n-1], n < MAX_WORDS ? out_re_m[n] : EMPTY) ||
        !ends_at(out_im_m[n-1], n < MAX_WORDS ? out_im_m[n] : EMPTY))
      $fatal(1, "%s: the sample files do not hold %0d words each", dir, n);
    if (!ends_at(bexp_m[frames-1], frames < MAX_FRAMES ? bexp_m[frames] : EMPTY) ||
        !ends_at(ovf_m[frames-1], frames < MAX_FRAMES ? ovf_m[frames] : EMPTY) ||
        (stages > 0 && !ends_at(sched_m[frames-1], frames < MAX_FRAMES ? sched_m[frames] : EMPTY)))
      $fatal(1, "%s: the frame files do not hold %0d words each", dir, frames);

    if (brevant_dpi_create(settings, model, msg) != 0) $fatal(1, "%s", msg);
    for (int f = 0; f < frames; f++) begin
      for (int k = 0; k < points; k++) begin
        re[k] = sample(in_re_m[f*points+k], in_width);
        im[k] = sample(in_im_m[f*points+k], in_width);
      end
      for (int s = 0; s < stages; s++) schedule[s] = int'((sched_m[f] >> (2 * s)) & 3);
      code = brevant_dpi_run_words(model, points, re, im, stages, schedule, nfft, inverse ? 0 : 1, yre, yim,
                                   bexp, ovf, msg);
      if (code != 0) begin
        $error("frame %0d: %s", f, msg);
        errors++;
        continue;
      end
      for (int k = 0; k < points; k++) begin
        longint er = sample(out_re_m[f*points+k], out_width), ei = sample(out_im_m[f*points+k], out_width);
        if (yre[k] != er || yim[k] != ei)
          fail($sformatf("frame %0d X[%0d]: model (%0d, %0d), expected (%0d, %0d)", f, k, yre[k], yim[k], er, ei));
      end
      if (longint'(bexp) != word(bexp_m[f], 8))
        fail($sformatf("frame %0d: block exponent %0d, expected %0d", f, bexp, word(bexp_m[f], 8)));
      if (longint'(ovf) != longint'(ovf_m[f]))
        fail($sformatf("frame %0d: overflow %0d, expected %0d", f, ovf, ovf_m[f]));
    end
    brevant_dpi_destroy(model);
    if (errors != 0) $fatal(1, "FAIL: %s: %0d mismatches in %0d frames", dir, errors, frames);
    $display("PASS: %s: %0d frames of %0d points, every word and flag agrees", dir, frames, points);
    $finish;
  end
endmodule
