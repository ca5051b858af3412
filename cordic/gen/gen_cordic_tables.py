#!/usr/bin/python3
"""Generates cordic/cordic_tables_data.cpp, the constant tables of the CORDIC core.

Every entry is computed from its formula with 400-bit arithmetic (mpmath) and
stored as the nearest 72-bit two's-complement word, as a text of '0'/'1'
digits, smallest entry first. Where the core's ROM word is known and differs (the
first arctangent and hyperbolic-arctangent angles, good to only about 59 bits,
and a few other entries off by a unit), the ROM word is taken, after checking
that it rounds to the same word as the exact value at every internal width the
model uses (8 to 54 bits). The quadrant constants are the ROM's texts, checked
to have the constants floored to B bits as their leading B digits.

Run from anywhere:  /usr/bin/python3 cordic/gen/gen_cordic_tables.py [--check]
(--check compares with the committed file instead of writing it; needs
Debian's python3-mpmath.)
"""
import os
import sys

from mpmath import mp, mpf, atan, atanh, sqrt, pi, floor

mp.prec = 400

BITS = 72
ENTRIES = 64
ANGLE_FRAC = BITS - 3  # 3 integer bits, sign included
GAIN_FRAC = BITS - 2   # 2 integer bits, sign included

# Words quoted from the core's ROM. The four first angles are good to only
# about 59 bits; the others are within a unit of the exact value but not
# always the nearest word. Keyed by (table, k) for angles, (table, n) for gains.
ROM_WORDS = {
    ("atan_radians", 0): "000011101101011000110011100000101011000011011101101001111100010010000110",
    ("atan_scaled", 0): "000001001011100100000001010001110110011101111100110000100001111010111100",
    ("atanh_radians", 0): "000100011001001111101010011110101010110100000011000010100111110011111001",
    ("atanh_scaled", 0): "000001011001100001011110001000110111101101011100101111010000001101101110",
    ("atan_radians", 1): "000001111101011011011101011111100100101100100000001101110101100010101011",
    ("circular_gain", 1): "001110010011111001001011100010110111111111011011101100100110101011001010",
    ("circular_gain", 64): "001101101111011001010110110001011001110111110000010011011011101011011010",
    ("hyperbolic_gain", 1): "010010011110011010011101000101100100000011001100011100010011010010000111",
    ("hyperbolic_gain", 64): "010011010100011110100001110010000000001110111011000010001100101001011001",
}

# The ROM's radian quadrant constants -pi, -pi/2, -3pi/4, -pi/4.
ROM_QUADRANT_RADIANS = [
    "100110110111100000010010101011101110111101001011100111101110010110011110",
    "110011011011110000001001010101110111011110100101110011110111001011001110",
    "101101001001101000001110000000110011001101111000101101110010110000110110",
    "111001101101111000000100101010111011101111010010111001111011100101101000",
]

MODEL_WIDTHS = range(8, 55)  # every internal width B a checked configuration gives


def text(value):
    """72-digit two's-complement text of an integer."""
    assert -(1 << (BITS - 1)) <= value < (1 << (BITS - 1)), value
    return format(value % (1 << BITS), "0%db" % BITS)


def nearest(x, frac):
    return int(floor(x * mpf(2) ** frac + mpf(1) / 2))


def hyperbolic_shift(i):
    """Shift of hyperbolic iteration i: 4 and 13 are repeated."""
    k = i if i <= 3 else (i - 1 if i <= 13 else i - 2)
    return k + 1


def round_nearest_even(v, length, out_len):
    """Mode-3 reduction of a positive v from length to out_len bits."""
    k = length - out_len
    h = 1 << (k - 1)
    c = 1 if ((v >> k) & 1) == (1 if v < 0 else 0) else 0
    return (v + h - c) >> k


def choose(table, index, exact, frac):
    """The ROM word where it is known (checked against the exact value),
    else the nearest word."""
    scaled = exact * mpf(2) ** frac
    word = nearest(exact, frac)
    rom = ROM_WORDS.get((table, index))
    if rom is None:
        return word
    rom = int(rom, 2)
    assert abs(rom - scaled) < 2 ** 13, (table, index)
    # Where the model can see it, the ROM word rounds like the nearest word.
    for b in MODEL_WIDTHS:
        assert round_nearest_even(rom, BITS, b) == round_nearest_even(word, BITS, b), (table, index, b)
    return rom


def angle_table(func, unit):
    rows = []
    for k in range(ENTRIES):
        a = (atan if func == "atan" else atanh)(mpf(2) ** -(k + 1))
        if unit == "scaled":
            a = a / pi
        rows.append(text(choose("%s_%s" % (func, unit), k, a, ANGLE_FRAC)))
    return rows[::-1]  # smallest (k = 63) first


def gain_table(hyperbolic):
    rows = []
    k = mpf(1)
    for n in range(1, ENTRIES + 1):
        s = hyperbolic_shift(n - 1) if hyperbolic else n
        k *= sqrt(1 - mpf(2) ** (-2 * s)) if hyperbolic else sqrt(1 + mpf(2) ** (-2 * s))
        table = "hyperbolic_gain" if hyperbolic else "circular_gain"
        rows.append(text(choose(table, n, 1 / k, GAIN_FRAC)))
    return rows[::-1]  # n = 64 first


def quadrant_radians():
    """The ROM texts, checked: their leading B digits are the constants floored to B bits."""
    for t, c in zip(ROM_QUADRANT_RADIANS, [-pi, -pi / 2, -3 * pi / 4, -pi / 4]):
        for b in MODEL_WIDTHS:
            lead = int(t[:b], 2) - (1 << b)
            assert lead == int(floor(c * mpf(2) ** (b - 3))), (t, b)
    return ROM_QUADRANT_RADIANS


def floored(x):
    return text(int(floor(x * mpf(2) ** ANGLE_FRAC)))


def emit_table(out, name, rows, comment):
    out.append("// %s" % comment)
    out.append("const char *const %s[kTableEntries] = {" % name)
    for r in rows:
        out.append('    "%s",' % r)
    out.append("};")
    out.append("")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(os.path.dirname(here), "cordic_tables_data.cpp")
    out = [
        "// Generated by cordic/gen/gen_cordic_tables.py; do not edit by hand.",
        "// 72-bit two's-complement constants, most significant digit first, smallest entry first.",
        '#include "cordic_tables.h"',
        "",
        "namespace cordic {",
        "",
    ]
    emit_table(out, "kCircularGainTexts", gain_table(False),
               "1 / prod_{s=1..n} sqrt(1 + 2^-2s), n = 64 down to 1; 2 integer bits")
    emit_table(out, "kHyperbolicGainTexts", gain_table(True),
               "1 / prod over the first n hyperbolic shifts of sqrt(1 - 2^-2s), n = 64 down to 1; 2 integer bits")
    emit_table(out, "kAtanRadiansTexts", angle_table("atan", "radians"),
               "arctan(2^-(k+1)), k = 63 down to 0; 3 integer bits")
    emit_table(out, "kAtanScaledTexts", angle_table("atan", "scaled"),
               "arctan(2^-(k+1)) / pi, k = 63 down to 0; 3 integer bits")
    emit_table(out, "kAtanhRadiansTexts", angle_table("atanh", "radians"),
               "artanh(2^-(k+1)), k = 63 down to 0; 3 integer bits")
    emit_table(out, "kAtanhScaledTexts", angle_table("atanh", "scaled"),
               "artanh(2^-(k+1)) / pi, k = 63 down to 0; 3 integer bits")
    quads = [("kQuadrantRadiansTexts", quadrant_radians(),
              "-pi, -pi/2, -3pi/4, -pi/4 as the ROM holds them; 3 integer bits"),
             ("kQuadrantScaledTexts", [floored(v) for v in [mpf(-1), mpf(-1) / 2, mpf(-3) / 4, mpf(-1) / 4]],
              "-1, -1/2, -3/4, -1/4 (units of pi); 3 integer bits")]
    for name, texts, comment in quads:
        out.append("// %s" % comment)
        out.append("extern const QuadrantTexts %s = {" % name)
        for t in texts:
            out.append('    "%s",' % t)
        out.append("};")
        out.append("")
    out.append("}  // namespace cordic")
    text_out = "\n".join(out) + "\n"
    if "--check" in sys.argv[1:]:
        with open(target) as f:
            if f.read() != text_out:
                print(target, "differs from what the generator produces")
                return 1
        print(target, "is up to date")
        return 0
    with open(target, "w") as f:
        f.write(text_out)
    print("wrote", target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
