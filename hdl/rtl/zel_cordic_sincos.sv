// Sine and cosine CORDIC core, fully pipelined: one phase word in and one
// (cosine, sine) pair out per clock.
//
// Data path, in B-bit two's-complement words (B = OUT_W + guard bits):
//   align    the phase word (3 integer bits) is shifted to B bits: left by
//            B - IN_W, or arithmetically right (floor) when IN_W > B;
//   fold     with the quadrant constants -pi/4, -3pi/4 the phase is brought
//            into [-pi/4, pi/4] by adding or subtracting pi/2 or pi, and the
//            quadrant (0, +90, 180, -90 degrees) is carried down the pipe;
//   rotate   N micro-rotations from (x, y) = (S, 0), S the inverse CORDIC
//            gain, with arithmetic shifts; every register wraps at B bits;
//   unfold   the quadrant turns the vector back: (-x,-y), (-y,x) or (y,-x),
//            one bit wider so that no result wraps;
//   round    from B to OUT_W bits by ROUND: 0 truncate (floor), 1 ties up,
//            2 ties away from zero, 3 nearest with ties of non-negative
//            values to even and of negative values to odd.
// No gain compensation: the outputs carry cos and sin with 2 integer bits.
//
// Constants come from the 72-bit ROM (zel_cordic_rom_pkg): S and the angles
// rounded to B bits (nearest, the tie rule of mode 3), the quadrant
// constants truncated to B bits.
//
// Defining ZEL_CORDIC_FLIP_NEGATIVE_TIE turns the output rounder's decision
// for negative ties the other way; test benches build it to show that the
// co-simulation notices a single wrong rounding decision.
module zel_cordic_sincos #(
    parameter int IN_W   = 16,   // phase word width, 8..48
    parameter int OUT_W  = 16,   // cosine and sine word width, 8..48
    parameter int ROUND  = 0,    // output rounding, 0..3
    parameter bit SCALED = 1'b0  // phase in units of pi instead of radians
) (
    input  logic                    clk,
    input  logic                    in_valid,
    input  logic signed [ IN_W-1:0] phase,
    output logic                    out_valid,
    output logic signed [OUT_W-1:0] cos_out,
    output logic signed [OUT_W-1:0] sin_out
);
  import zel_cordic_rom_pkg::*;

  localparam int N = OUT_W - 2;     // micro-rotations; the quadrant fold stands in for two
  localparam int G = $clog2(N);     // guard bits: 2^G >= N
  localparam int B = OUT_W + G;     // internal width
  localparam int D = B - IN_W;      // alignment shift of the phase
  localparam int K = B - OUT_W;     // bits dropped by the output rounder

  if (IN_W < 8 || IN_W > 48 || OUT_W < 8 || OUT_W > 48 || ROUND < 0 || ROUND > 3) begin : g_check
    $error("zel_cordic_sincos: IN_W and OUT_W must lie in 8..48 and ROUND in 0..3");
  end

  // A positive ROM entry rounded from 72 to B bits, to nearest with ties to even.
  function automatic logic signed [B-1:0] rom_round(logic [71:0] v);
    logic [72:0] sum;
    sum = {1'b0, v} + (73'd1 << (71 - B)) - {72'd0, v[72-B] == v[71]};
    return sum[72-B +: B];
  endfunction

  function automatic logic signed [B-1:0] angle(int k);
    return rom_round(SCALED ? ATAN_SCALED[k] : ATAN_RADIANS[k]);
  endfunction

  function automatic logic signed [B:0] quadrant(int q);  // -pi, -pi/2, -3pi/4, -pi/4, floored
    logic [71:0] v;
    v = SCALED ? QUADRANT_SCALED[q] : QUADRANT_RADIANS[q];
    return {v[71], v[71 -: B]};
  endfunction

  localparam logic signed [B-1:0] S = rom_round(CIRCULAR_GAIN[N-1]);
  localparam logic signed [B:0] T = quadrant(0);
  localparam logic signed [B:0] M = quadrant(1);
  localparam logic signed [B:0] O = quadrant(2);
  localparam logic signed [B:0] L = quadrant(3);

  typedef enum logic [1:0] {
    Q0   = 2'd0,
    QP90 = 2'd1,
    Q180 = 2'd2,
    QM90 = 2'd3
  } quad_t;

  // ---- align ----
  logic signed [B-1:0] z_in;
  logic                v_in;
  always_ff @(posedge clk) v_in <= in_valid;
  if (D >= 0) begin : g_widen
    always_ff @(posedge clk) z_in <= B'(phase) <<< D;
  end else begin : g_narrow
    logic signed [IN_W-1:0] floored;
    assign floored = phase >>> -D;
    always_ff @(posedge clk) z_in <= floored[B-1:0];
  end

  // ---- fold ----
  logic signed [B:0] zw, u, v;
  assign zw = {z_in[B-1], z_in};
  assign u  = z_in[B-1] ? zw - O : zw + O;
  assign v  = z_in[B-1] ? zw - L : zw + L;

  logic signed [B-1:0] xs[N+1], ys[N+1], zs[N+1];
  quad_t               qs[N+1];
  logic                vs[N+1];

  always_ff @(posedge clk) begin
    vs[0] <= v_in;
    xs[0] <= S;
    ys[0] <= '0;
    if (!z_in[B-1]) begin
      if (!u[B]) begin
        zs[0] <= B'(zw + T);
        qs[0] <= Q180;
      end else if (!v[B]) begin
        zs[0] <= B'(zw + M);
        qs[0] <= QP90;
      end else begin
        zs[0] <= z_in;
        qs[0] <= Q0;
      end
    end else begin
      if (u[B]) begin
        zs[0] <= B'(zw - T);
        qs[0] <= Q180;
      end else if (v[B]) begin
        zs[0] <= B'(zw - M);
        qs[0] <= QM90;
      end else begin
        zs[0] <= z_in;
        qs[0] <= Q0;
      end
    end
  end

  // ---- rotate ----
  for (genvar i = 0; i < N; i++) begin : g_iter
    localparam logic signed [B-1:0] A = angle(i);
    logic signed [B-1:0] xsh, ysh;
    assign xsh = xs[i] >>> (i + 1);
    assign ysh = ys[i] >>> (i + 1);
    always_ff @(posedge clk) begin
      vs[i+1] <= vs[i];
      qs[i+1] <= qs[i];
      if (!zs[i][B-1]) begin
        xs[i+1] <= xs[i] - ysh;
        ys[i+1] <= ys[i] + xsh;
        zs[i+1] <= zs[i] - A;
      end else begin
        xs[i+1] <= xs[i] + ysh;
        ys[i+1] <= ys[i] - xsh;
        zs[i+1] <= zs[i] + A;
      end
    end
  end

  // ---- unfold ----
  logic signed [B:0] xn, yn, xe, ye;
  assign xn = {xs[N][B-1], xs[N]};
  assign yn = {ys[N][B-1], ys[N]};
  always_comb begin
    unique case (qs[N])
      Q180:    begin xe = -xn; ye = -yn; end
      QP90:    begin xe = -yn; ye = xn;  end
      QM90:    begin xe = yn;  ye = -xn; end
      default: begin xe = xn;  ye = yn;  end
    endcase
  end

  // ---- round ----
  localparam logic signed [B+1:0] HALF = (B + 2)'(1) <<< (K - 1);

  function automatic logic signed [OUT_W-1:0] round_out(logic signed [B:0] w);
    logic signed [B+1:0] x, floor_w, carry, r;
    x       = {w[B], w};
    floor_w = x >>> K;
    case (ROUND)
      2:       carry = {{(B + 1) {1'b0}}, w[B]};           // ties away from zero
      3:       carry = {{(B + 1) {1'b0}}, w[K] == w[B]};   // ties to even, negative ties to odd
      default: carry = '0;
    endcase
    r = (ROUND == 0) ? floor_w : (x + HALF - carry) >>> K;
`ifdef ZEL_CORDIC_FLIP_NEGATIVE_TIE
    if (w[B] && w[K-1:0] == K'(HALF)) r = (r == floor_w) ? floor_w + 1 : floor_w;
`endif
    return r[OUT_W-1:0];
  endfunction

  always_ff @(posedge clk) begin
    out_valid <= vs[N];
    cos_out   <= round_out(xe);
    sin_out   <= round_out(ye);
  end

endmodule
