// Drives one sin/cos core with edge and random phase words, gets the
// expected words from the CORDIC model through DPI one block ahead, and
// compares every output pair as it leaves the pipeline.
module tb_cordic_check #(
    parameter int       IN_W   = 16,
    parameter int       OUT_W  = 16,
    parameter int       ROUND  = 0,
    parameter bit       SCALED = 1'b0,
    parameter int       BLOCK  = 1024
) (
    input  logic clk,
    input  int   samples,
    input  longint unsigned seed,
    output logic done,
    output int   mismatches
);
  import solvine_dpi::*;

  logic                    in_valid = 1'b0;
  logic signed [ IN_W-1:0] phase_w = '0;
  logic                    out_valid;
  logic signed [OUT_W-1:0] cos_w, sin_w;

  zel_cordic_sincos #(
      .IN_W  (IN_W),
      .OUT_W (OUT_W),
      .ROUND (ROUND),
      .SCALED(SCALED)
  ) dut (
      .clk,
      .in_valid,
      .phase(phase_w),
      .out_valid,
      .cos_out(cos_w),
      .sin_out(sin_w)
  );

  string label;
  initial begin
    label = $sformatf("sin_cos %0d->%0d bits, rounding %0d, ", IN_W, OUT_W, ROUND);
    if (SCALED) label = {label, "scaled"};
    else label = {label, "radians"};
  end

  // ---- scoreboard ----
  longint exp_phase[$], exp_cos[$], exp_sin[$];
  int checked = 0;
  initial mismatches = 0;

  always @(posedge clk)
    if (out_valid) begin
      longint p, c, s;
      if (exp_cos.size() == 0) begin
        $error("%s: output without a sample in flight", label);
        mismatches++;
      end else begin
        p = exp_phase.pop_front();
        c = exp_cos.pop_front();
        s = exp_sin.pop_front();
        if (longint'(cos_w) != c || longint'(sin_w) != s) begin
          mismatches++;
          if (mismatches <= 5)
            $display("MISMATCH %s: sample %0d phase %0d: core (%0d, %0d), model (%0d, %0d)", label,
                     checked, p, cos_w, sin_w, c, s);
        end
      end
      checked++;
    end

  // ---- stimulus ----
  longint unsigned state;
  function automatic longint unsigned next_random();
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  endfunction

  function automatic longint as_word(longint unsigned r);
    logic signed [IN_W-1:0] w;
    w = r[IN_W-1:0];
    return longint'(w);
  endfunction

  // The phase words where the fold changes its decision (multiples of pi/4)
  // and one word either side, the ends of the word range, and zero.
  longint edges[$];
  task automatic make_edges();
    longint maxw = (longint'(1) <<< (IN_W - 1)) - 1;
    real step = 2.0 ** (IN_W - 3);  // one radian, or pi for a scaled phase
    if (SCALED) step = step / 4.0;
    else step = step * 3.14159265358979323846 / 4.0;
    edges = '{0, 1, -1, maxw, -maxw - 1, maxw - 1, -maxw};
    for (int q = -5; q <= 5; q++) begin
      longint base = longint'($floor(q * step));
      for (longint d = -1; d <= 1; d++)
        if (base + d <= maxw && base + d >= -maxw - 1) edges.push_back(base + d);
    end
  endtask

  initial begin
    chandle model;
    string msg;
    longint ph[BLOCK], c[BLOCK], s[BLOCK];
    done = 1'b0;
    @(posedge clk);  // samples and seed are set at time 0
    state = seed ^ (64'(IN_W) << 32) ^ (64'(OUT_W) << 16) ^ 64'(ROUND) ^ 64'h9e37_79b9_7f4a_7c15;
    make_edges();
    if (solvine_dpi_create($sformatf("name=\"%s\" function=sin_cos input_width=%0d output_width=%0d rounding=%0d phase_format=%0d",
                                     label, IN_W, OUT_W, ROUND, SCALED), model, msg) != 0)
      $fatal(1, "%s: %s", label, msg);
    for (int first = 0; first < samples; first += BLOCK) begin
      int n = samples - first < BLOCK ? samples - first : BLOCK;
      for (int k = 0; k < BLOCK; k++)
        ph[k] = first + k < edges.size() ? edges[first+k] : as_word(next_random());
      if (solvine_dpi_run(model, n, ph, ph, ph, c, s, msg) != 0) $fatal(1, "%s: %s", label, msg);
      for (int k = 0; k < n; k++) begin
        exp_phase.push_back(ph[k]);
        exp_cos.push_back(c[k]);
        exp_sin.push_back(s[k]);
        @(posedge clk);
        // verilator lint_off INITIALDLY
        in_valid <= 1'b1;
        phase_w  <= IN_W'(ph[k]);
      end
    end
    @(posedge clk);
    in_valid <= 1'b0;
    // verilator lint_on INITIALDLY
    // The pipeline is a few dozen stages deep; a core that loses samples
    // fails here instead of hanging the run.
    for (int t = 0; t < 1000 && checked < samples; t++) @(posedge clk);
    if (checked != samples) begin
      $display("MISMATCH %s: %0d outputs for %0d samples", label, checked, samples);
      mismatches += samples - checked;
    end
    solvine_dpi_destroy(model);
    $display("%s: %0d samples, %0d mismatches", label, checked, mismatches);
    done = 1'b1;
  end

endmodule
