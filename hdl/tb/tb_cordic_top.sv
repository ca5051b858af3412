// CORDIC co-simulation: sin/cos cores of several widths and rounding modes
// against the model, every output word compared.
//   +samples=N   samples per core (default 100000)
//   +seed=N      stimulus seed (default 1), printed with the result
//   +expect_mismatch   pass only if every core disagrees with the model
//                      somewhere (for the build with a deliberate fault)
module tb_cordic_top;
  logic clk = 1'b0;
  always #1 clk = ~clk;

  int samples = 100000;
  longint unsigned seed = 1;

`ifdef ZEL_CORDIC_FLIP_NEGATIVE_TIE
  localparam int CORES = 2;
`else
  localparam int CORES = 5;
`endif
  logic done[CORES];
  int   mismatches[CORES];

  // The named configuration (16-bit words, truncation) first, then the
  // other widths; the last ones add phase words wider than the data path
  // (floored on the way in), the other rounding modes and a scaled phase.
  tb_cordic_check #(.IN_W(16), .OUT_W(16)) c16 (.clk, .samples, .seed, .done(done[0]), .mismatches(mismatches[0]));
  tb_cordic_check #(.IN_W(20), .OUT_W(12), .ROUND(3)) c20_12 (.clk, .samples, .seed, .done(done[1]), .mismatches(mismatches[1]));
`ifndef ZEL_CORDIC_FLIP_NEGATIVE_TIE
  tb_cordic_check #(.IN_W(8), .OUT_W(8)) c8 (.clk, .samples, .seed, .done(done[2]), .mismatches(mismatches[2]));
  tb_cordic_check #(.IN_W(48), .OUT_W(48)) c48 (.clk, .samples, .seed, .done(done[3]), .mismatches(mismatches[3]));
  tb_cordic_check #(.IN_W(12), .OUT_W(24), .ROUND(2), .SCALED(1'b1)) c12_24 (.clk, .samples, .seed, .done(done[4]), .mismatches(mismatches[4]));
`endif

  initial begin
    int total, caught;
    bit expect_mismatch;
    void'($value$plusargs("samples=%d", samples));
    void'($value$plusargs("seed=%d", seed));
    expect_mismatch = $test$plusargs("expect_mismatch");
    for (int i = 0; i < CORES; i++) wait (done[i]);
    total = 0;
    caught = 0;
    for (int i = 0; i < CORES; i++) begin
      total += mismatches[i];
      if (mismatches[i] > 0) caught++;
    end
    if (expect_mismatch) begin
      if (caught != CORES) $fatal(1, "seed %0d: the faulty cores went unnoticed (%0d of %0d caught)", seed, caught, CORES);
      $display("PASS: the fault was caught by every core (%0d mismatches, seed %0d)", total, seed);
    end else begin
      if (total != 0) $fatal(1, "FAIL: %0d mismatches (seed %0d)", total, seed);
      $display("PASS: %0d cores, %0d samples each, no mismatch (seed %0d)", CORES, samples, seed);
    end
    $finish;
  end
endmodule
