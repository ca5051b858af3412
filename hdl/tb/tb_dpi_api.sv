// The DPI packages' contract as a test bench sees it: refused settings and
// configurations come back as a return code with the library's own text,
// refused arguments write nothing, and the word forms carry the port
// encodings (full-growth words of an unscaled FFT, single-precision
// patterns of a floating-point one).
module tb_dpi_api;
  import brevant_dpi::*;
  import solvine_dpi::*;

  int failures = 0;
  task automatic check(bit ok, string what);
    if (!ok) begin
      failures++;
      $display("FAILED: %s", what);
    end
  endtask

  function automatic bit contains(string s, string part);
    for (int i = 0; i + part.len() <= s.len(); i++)
      if (s.substr(i, i + part.len() - 1) == part) return 1;
    return 0;
  endfunction

  initial begin
    chandle m;
    string msg;
    int rc, bexp, ovf, k;
    longint a[4], b[4], c[2], d[2];
    real ra[4], rb[4], rc_[4], rd[4];
    longint re[1024], im[1024], yre[1024], yim[1024];
    real xr[1024], xi[1024], zr[1024], zi[1024];
    int sch[8];

    // ---- CORDIC ----
    rc = solvine_dpi_create("fuction=sin_cos", m, msg);
    check(rc == 1 && m == null && contains(msg, "did you mean \"function\""), {"misspelt key: ", msg});
    rc = solvine_dpi_create("function=sin_cos input_width=7", m, msg);
    check(rc == 1 && msg == "Invalid value for InputWidth", {"refused width: ", msg});
    rc = solvine_dpi_create("function=sin_cos input_width", m, msg);
    check(rc == 1 && contains(msg, "input_width"), {"missing value: ", msg});
    rc = solvine_dpi_run(null, 1, a, a, a, b, b, msg);
    check(rc == 1 && msg != "", "run without a model");

    rc = solvine_dpi_create("function=rotate, name=\"rot 16\"", m, msg);
    check(rc == 0 && m != null, {"create rotate: ", msg});
    a = '{12000, -7000, 32767, -32768};
    b = '{-3000, 9000, -32768, 32767};
    c = '{5, 5};
    d = '{6, 6};
    rc = solvine_dpi_run(m, 4, a, b, a, c, d, msg);  // outputs shorter than the block
    check(rc == 1 && c[0] == 5 && c[1] == 5 && d[0] == 6 && d[1] == 6, {"short output arrays: ", msg});
    // The real form gives the same words as the integer form.
    begin : real_form
      longint x[4], y[4];
      rc = solvine_dpi_run(m, 4, a, b, b, x, y, msg);
      check(rc == 0, {"rotate words: ", msg});
      foreach (a[i]) begin
        ra[i] = real'(a[i]);
        rb[i] = real'(b[i]);
      end
      rc = solvine_dpi_run_real(m, 4, ra, rb, rb, rc_, rd, msg);
      check(rc == 0, {"rotate reals: ", msg});
      foreach (x[i]) check(real'(x[i]) == rc_[i] && real'(y[i]) == rd[i], $sformatf("real form, sample %0d", i));
    end : real_form
    solvine_dpi_destroy(m);

    // ---- FFT ----
    rc = brevant_dpi_create("nfft_max=17", m, msg);
    check(rc == 1 && msg == "ERROR:zelfft_v9_0:create_state called with invalid C_NFFT_MAX generic: must be in the range 3 to 16: Value is 17",
          {"refused nfft_max: ", msg});
    rc = brevant_dpi_create("nfft_max=10", m, msg);
    check(rc == 0, {"create default: ", msg});
    sch = '{2, 2, 2, 2, 2, 0, 0, 0};
    foreach (yre[i]) begin
      re[i] = 0; im[i] = 0; yre[i] = 7; yim[i] = 7;
    end
    rc = brevant_dpi_run_words(m, 128, re, im, 5, sch, -1, 1, yre, yim, bexp, ovf, msg);
    check(rc != 0 && msg == "ERROR:zelfft_v9_0:simulate called with incorrect xn_re_size input 128: must be 2^nfft = 1024"
          && yre[0] == 7 && yim[1023] == 7, {"wrong frame length: ", msg});
    foreach (xr[i]) begin
      xr[i] = 0.0; xi[i] = 0.0;
    end
    xr[0] = 0.1;  // not on the 16-bit grid
    rc = brevant_dpi_run(m, 1024, xr, xi, 5, sch, -1, 1, zr, zi, bexp, ovf, msg);
    check(rc == 0 && contains(msg, "WARNING:zelfft_v9_0:"), {"off-grid warning: ", msg});
    brevant_dpi_destroy(m);

    // Unscaled: results keep the input's last place and grow by nfft_max + 1 bits.
    rc = brevant_dpi_create("nfft_max=3,arch=radix2,scaling=none", m, msg);
    check(rc == 0 && brevant_dpi_output_width(m) == 20, {"unscaled core: ", msg});
    for (k = 0; k < 8; k++) begin
      re[k] = 16384; im[k] = 0;  // 0.5
    end
    rc = brevant_dpi_run_words(m, 8, re, im, 0, sch, -1, 1, yre, yim, bexp, ovf, msg);
    check(rc == 0 && yre[0] == 131072 && yim[0] == 0 && yre[1] == 0, $sformatf("unscaled DC: X[0] = %0d", yre[0]));
    brevant_dpi_destroy(m);

    // Floating point: words are single-precision patterns; an impulse of 1.0
    // transforms to 1.0 in every bin.
    rc = brevant_dpi_create("nfft_max=6,float_data=true,input_width=32", m, msg);
    check(rc == 0, {"float core: ", msg});
    for (k = 0; k < 64; k++) begin
      re[k] = 0; im[k] = 0;
    end
    re[0] = 64'h3f80_0000;
    rc = brevant_dpi_run_words(m, 64, re, im, 0, sch, -1, 1, yre, yim, bexp, ovf, msg);
    check(rc == 0 && yre[0] == 64'h3f80_0000 && yre[63] == 64'h3f80_0000 && yim[5] == 0,
          $sformatf("float impulse: %0h %0h (%s)", yre[0], yre[63], msg));
    brevant_dpi_destroy(m);

    if (failures != 0) $fatal(1, "%0d DPI checks failed", failures);
    $display("PASS: DPI packages");
    $finish;
  end
endmodule
