// Fuzz target of solvine's C interface. An input decodes to a configuration
// (valid fields mostly, any 32-bit value sometimes, a name or none), up to
// three block calls (right and wrong function codes, missing arrays, first
// dimensions and element counts that differ from the count, huge counts,
// words in and out of range, fractions, infinities, NaN), and a run of array
// operations on all seven element types (huge and wrong counts, views, host
// tables whose allocator refuses). Invariants:
//   - create gives a model and no message, or NULL and exactly one message
//     (with a handler); get_config gives back every field and the name;
//   - a block call returns 0 or 1: argument faults give 1, no message and
//     no output written; otherwise processing stops at the first unreadable
//     input sample k with 1 and one "<name> ERROR: Problem reading data from
//     <array>" message, samples before k written, none from k on; a complete
//     block gives 0 and no message; only the configured function's outputs
//     and only elements below their data_size are written, each an integer
//     word within its width; inputs never change; a sample computed alone
//     gives the same words as inside its block;
//   - a complete block whose input words are all whole numbers of the input
//     width gives the very same words through the integer-word seam of
//     programs built with the model (solvine_words.h);
//   - array operations return their documented results, refuse growth they
//     cannot do without changing the array, and round-trip every element.
#include "fuzz_input.h"
#include "solvine.h"
#include "solvine_words.h"

#include <gmp.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zelfuzz;
using Config = zelip_cordic_v6_0_config;
using Model = zelip_cordic_v6_0_model;

constexpr const char *kTarget = "cordic_fuzz";
constexpr uint64_t kSentinel = 0x7FF4DEADBEEF0002ull;  // a NaN no output word can be

void check(bool ok, const char *what, long long a = 0, long long b = 0) {
  if (!ok) fail(kTarget, what, a, b);
}

double sentinel() {
  double d;
  std::memcpy(&d, &kSentinel, sizeof d);
  return d;
}

struct Messages {
  std::vector<std::pair<int, std::string>> received;
  static void handler(void *handle, int error, const char *msg) {
    static_cast<Messages *>(handle)->received.emplace_back(error, msg);
  }
};

uint32_t raw_or(Input &in, uint32_t value) { return in.rarely(10) ? in.u32() : value; }

Config decode_config(Input &in, std::string &name, bool &null_name) {
  Config c;
  zelip_cordic_v6_0_default_config(&c);
  c.CordicFunction = raw_or(in, in.range(0, 6));
  c.CoarseRotate = raw_or(in, in.range(0, 1));
  c.DataFormat = raw_or(in, in.range(0, 2));
  c.PhaseFormat = raw_or(in, in.range(0, 1));
  c.InputWidth = raw_or(in, in.range(8, 48));
  const bool integer_root = c.CordicFunction == 6 && c.DataFormat == 2;
  c.OutputWidth = raw_or(in, integer_root && !in.rarely() ? c.InputWidth / 2 + 1 : in.range(8, 48));
  c.Iterations = raw_or(in, in.flag() ? 0 : in.range(1, 60));
  const int low = static_cast<int>(std::clamp<uint32_t>(c.OutputWidth, 1, 48));
  c.Precision = raw_or(in, in.flag() ? 0 : in.range(low, 48));
  c.RoundMode = raw_or(in, in.range(0, 3));
  c.ScaleComp = raw_or(in, in.range(0, 3));
  c.Reserved = in.u32();
  null_name = in.rarely(16);
  name.clear();
  for (int n = in.range(0, 10); n > 0; --n) name.push_back(static_cast<char>(in.range(1, 255)));
  c.name = null_name ? nullptr : name.c_str();
  std::snprintf(context(), 512,
                "function %u coarse %u format %u phase %u in %u out %u iterations %u precision %u round %u comp %u",
                c.CordicFunction, c.CoarseRotate, c.DataFormat, c.PhaseFormat, c.InputWidth, c.OutputWidth,
                c.Iterations, c.Precision, c.RoundMode, c.ScaleComp);
  return c;
}

// ---------------------------------------------------------------------------
// Block calls.

// Arrays built through the library's own functions, freed on scope exit.
struct RealDeleter {
  void operator()(zelip_array_real *a) const { zelip_cordic_v6_0_zelip_array_real_destroy(a); }
};
struct ComplexDeleter {
  void operator()(zelip_array_complex *a) const { zelip_cordic_v6_0_zelip_array_complex_destroy(a); }
};
using RealPtr = std::unique_ptr<zelip_array_real, RealDeleter>;
using ComplexPtr = std::unique_ptr<zelip_array_complex, ComplexDeleter>;

// The shape of one array of a block call.
struct Shape {
  bool present = true;
  size_t data_size = 0;
  size_t dim_size = 1;
  size_t dim0 = 0;
};

template <class Array, class Create, class ReserveData, class ReserveDim>
Array *make_array(const Shape &s, Create create, ReserveData reserve_data, ReserveDim reserve_dim) {
  if (!s.present) return nullptr;
  Array *a = create();
  check(a != nullptr, "array create failed");
  check(reserve_data(a, std::max<size_t>(s.data_size, 1)) == 0, "reserve_data failed", s.data_size);
  check(reserve_dim(a, 2) == 0, "reserve_dim failed");
  a->data_size = s.data_size;
  a->dim_size = s.dim_size;
  a->dim[0] = s.dim0;
  a->dim[1] = 1;
  return a;
}

RealPtr make_real(const Shape &s) {
  return RealPtr(make_array<zelip_array_real>(s, zelip_cordic_v6_0_zelip_array_real_create,
                                              zelip_cordic_v6_0_zelip_array_real_reserve_data,
                                              zelip_cordic_v6_0_zelip_array_real_reserve_dim));
}

ComplexPtr make_complex(const Shape &s) {
  return ComplexPtr(make_array<zelip_array_complex>(s, zelip_cordic_v6_0_zelip_array_complex_create,
                                                    zelip_cordic_v6_0_zelip_array_complex_reserve_data,
                                                    zelip_cordic_v6_0_zelip_array_complex_reserve_dim));
}

enum Slot { kMagin, kPhasein, kCartin, kMagout, kPhaseout, kCartout, kSlots };

// Which arrays a function code needs, as the header lists them.
bool needs(uint32_t code, int slot) {
  switch (code) {
    case 0: return slot == kCartin || slot == kPhasein || slot == kCartout;
    case 1: return slot == kCartin || slot == kMagout || slot == kPhaseout;
    case 2:
    case 4: return slot == kPhasein || slot == kCartout;
    case 3:
    case 5: return slot == kCartin || slot == kPhaseout;
    case 6: return slot == kMagin || slot == kMagout;
    default: return false;
  }
}

// The arrays of one call, with the words the host put in.
struct Block {
  size_t count = 0;
  RealPtr magin, phasein, magout, phaseout;
  ComplexPtr cartin, cartout;

  const zelip_array_real *real_in(int slot) const { return slot == kMagin ? magin.get() : phasein.get(); }
  bool present(int slot) const {
    switch (slot) {
      case kMagin: return magin != nullptr;
      case kPhasein: return phasein != nullptr;
      case kCartin: return cartin != nullptr;
      case kMagout: return magout != nullptr;
      case kPhaseout: return phaseout != nullptr;
      default: return cartout != nullptr;
    }
  }
  const size_t *first_dim(int slot) const {
    auto dims = [](auto *a) -> const size_t * { return a && a->dim && a->dim_size > 0 ? a->dim : nullptr; };
    switch (slot) {
      case kMagin: return dims(magin.get());
      case kPhasein: return dims(phasein.get());
      case kCartin: return dims(cartin.get());
      case kMagout: return dims(magout.get());
      case kPhaseout: return dims(phaseout.get());
      default: return dims(cartout.get());
    }
  }
};

double input_word(Mix &mix, int mode, uint32_t width) {
  const uint64_t r = mix.next();
  const int w = static_cast<int>(std::clamp<uint32_t>(width, 2, 60));
  switch (mode) {
    case 0: return static_cast<double>(static_cast<int64_t>(r) >> (64 - w));  // a word of the input width
    case 1: return static_cast<double>(static_cast<int64_t>(r) >> (64 - std::min(w + 6, 62)));  // beyond it
    case 2: return std::ldexp(static_cast<double>(static_cast<int64_t>(r) >> 11), w - 54);     // with a fraction
    default: return (r & 15) == 0 ? special_double(static_cast<unsigned>(r >> 8)) : static_cast<double>(r % 64);
  }
}

Block decode_block(Input &in, const Config &cfg, uint32_t code) {
  Block b;
  const bool huge = in.rarely(10);
  static const size_t kHuge[] = {SIZE_MAX, size_t{1} << 40, (size_t{1} << 62) + 3};
  b.count = huge ? kHuge[in.range(0, 2)] : static_cast<size_t>(in.range(0, 12));
  Shape shapes[kSlots];
  for (int slot = 0; slot < kSlots; ++slot) {
    Shape &s = shapes[slot];
    const bool needed = needs(code, slot);
    s.present = needed ? !in.rarely(8) : in.flag();
    s.dim0 = b.count;
    s.data_size = huge ? in.range(0, 8) : b.count;
    if (in.rarely(20)) {
      switch (in.range(0, 4)) {
        case 0: s.dim_size = 0; break;
        case 1: s.dim0 = b.count + 1; break;
        case 2: s.data_size = huge || b.count == 0 ? s.data_size : b.count - 1; break;
        case 3: s.data_size = huge ? 0 : b.count + 2; break;
        default: s.dim_size = 2; break;
      }
    }
  }
  b.magin = make_real(shapes[kMagin]);
  b.phasein = make_real(shapes[kPhasein]);
  b.cartin = make_complex(shapes[kCartin]);
  b.magout = make_real(shapes[kMagout]);
  b.phaseout = make_real(shapes[kPhaseout]);
  b.cartout = make_complex(shapes[kCartout]);
  Mix mix(in.u64());
  const int mode = in.range(0, 3);
  const uint32_t width = cfg.InputWidth;
  for (zelip_array_real *a : {b.magin.get(), b.phasein.get()})
    if (a)
      for (size_t k = 0; k < a->data_size; ++k) a->data[k] = input_word(mix, mode, width);
  if (b.cartin)
    for (size_t k = 0; k < b.cartin->data_size; ++k)
      b.cartin->data[k] = {input_word(mix, mode, width), input_word(mix, mode, width)};
  for (int patches = in.range(0, 3); patches > 0; --patches) {
    const int slot = in.range(0, 2);
    const uint32_t at = in.u32();
    const double v = special_double(in.u8());
    if (slot == kCartin && b.cartin && b.cartin->data_size > 0) {
      zelip_complex &z = b.cartin->data[at % b.cartin->data_size];
      (at & 1 ? z.re : z.im) = v;
    } else if (slot != kCartin) {
      zelip_array_real *a = slot == kMagin ? b.magin.get() : b.phasein.get();
      if (a && a->data_size > 0) a->data[at % a->data_size] = v;
    }
  }
  for (zelip_array_real *a : {b.magout.get(), b.phaseout.get()})
    if (a) std::fill(a->data, a->data + a->data_size, sentinel());
  if (b.cartout) std::fill(b.cartout->data, b.cartout->data + b.cartout->data_size, zelip_complex{sentinel(), sentinel()});
  return b;
}

std::vector<uint64_t> snapshot(const Block &b) {
  std::vector<uint64_t> s;
  for (const zelip_array_real *a : {b.magin.get(), b.phasein.get()}) {
    if (!a) continue;
    s.push_back(a->data_size);
    for (size_t k = 0; k < a->data_size; ++k) s.push_back(bits_of(a->data[k]));
  }
  if (b.cartin) {
    s.push_back(b.cartin->data_size);
    for (size_t k = 0; k < b.cartin->data_size; ++k) {
      s.push_back(bits_of(b.cartin->data[k].re));
      s.push_back(bits_of(b.cartin->data[k].im));
    }
  }
  return s;
}

zelip_status call(const Model *m, uint32_t code, bool convenience, const Block &b) {
  zelip_array_real *mi = b.magin.get(), *pi = b.phasein.get(), *mo = b.magout.get(), *po = b.phaseout.get();
  zelip_array_complex *ci = b.cartin.get(), *co = b.cartout.get();
  if (!convenience)
    return zelip_cordic_v6_0_data_do(m, code, mi, pi, ci, mo, po, co, b.count);
  switch (code) {
    case 0: return zelip_cordic_v6_0_rotate(m, ci, pi, co, b.count);
    case 1: return zelip_cordic_v6_0_translate(m, ci, mo, po, b.count);
    case 2: return zelip_cordic_v6_0_sin_cos(m, pi, co, b.count);
    case 3: return zelip_cordic_v6_0_atan(m, ci, po, b.count);
    case 4: return zelip_cordic_v6_0_sinh_cosh(m, pi, co, b.count);
    case 5: return zelip_cordic_v6_0_atanh(m, ci, po, b.count);
    default: return zelip_cordic_v6_0_sqrt(m, mi, mo, b.count);
  }
}

// Whether input sample k of the configured function can be read; the array
// named when it cannot, in the order the samples are read.
const char *unreadable(const Block &b, uint32_t f, size_t k) {
  auto real_ok = [k](const zelip_array_real *a) { return k < a->data_size && std::isfinite(a->data[k]); };
  if (f == 6) return real_ok(b.magin.get()) ? nullptr : "magin";
  if (f == 0 || f == 1 || f == 3 || f == 5) {
    const zelip_array_complex *a = b.cartin.get();
    if (!(k < a->data_size && std::isfinite(a->data[k].re) && std::isfinite(a->data[k].im))) return "cartin";
  }
  if ((f == 0 || f == 2 || f == 4) && !real_ok(b.phasein.get())) return "phasein";
  return nullptr;
}

// Checks output element k of one array: written (an integer word within
// the output width) below `written_below`, untouched from there on.
void check_output(double v, size_t k, size_t written_below, bool root, uint32_t width, const char *what) {
  if (k >= written_below) {
    check(bits_of(v) == kSentinel, what, static_cast<long long>(k), 1);
    return;
  }
  check(std::isfinite(v) && std::floor(v) == v, "an output word is not an integer", static_cast<long long>(k));
  // Nothing is saturated: the registers wrap to B bits in the micro-rotations,
  // but the post-correction after them (a negation, a turn of the phase by up
  // to pi) and the hyperbolic gain compensation (a factor near 1.21) can
  // carry a word past the top of B bits, never past 2^B; rounding to the
  // output width may add one unit. So a word has at most one bit more than
  // its width. A root is unsigned (modulo 2^B before its rounding).
  const double lo = root ? 0.0 : -std::ldexp(1.0, static_cast<int>(width));
  const double hi = std::ldexp(1.0, static_cast<int>(width));
  check(v >= lo && v <= hi, "an output word beyond its width", static_cast<long long>(k), static_cast<long long>(v));
}

void check_outputs(const Block &b, uint32_t f, size_t written, uint32_t width) {
  const bool cart = f == 0 || f == 2 || f == 4, mag = f == 1 || f == 6, phase = f == 1 || f == 3 || f == 5;
  if (b.magout)
    for (size_t k = 0; k < b.magout->data_size; ++k)
      check_output(b.magout->data[k], k, mag ? written : 0, f == 6, width, "magout element written");
  if (b.phaseout)
    for (size_t k = 0; k < b.phaseout->data_size; ++k)
      check_output(b.phaseout->data[k], k, phase ? written : 0, false, width, "phaseout element written");
  if (b.cartout)
    for (size_t k = 0; k < b.cartout->data_size; ++k) {
      check_output(b.cartout->data[k].re, k, cart ? written : 0, false, width, "cartout element written");
      check_output(b.cartout->data[k].im, k, cart ? written : 0, false, width, "cartout element written");
    }
}

// Sample k computed on its own gives the words it got inside its block.
void check_alone(const Model *m, const Config &cfg, const Block &b, size_t k) {
  const uint32_t f = cfg.CordicFunction;
  Block one;
  one.count = 1;
  const Shape s{true, 1, 1, 1};
  if (needs(f, kMagin)) one.magin = make_real(s), one.magin->data[0] = b.magin->data[k];
  if (needs(f, kPhasein)) one.phasein = make_real(s), one.phasein->data[0] = b.phasein->data[k];
  if (needs(f, kCartin)) one.cartin = make_complex(s), one.cartin->data[0] = b.cartin->data[k];
  if (needs(f, kMagout)) one.magout = make_real(s);
  if (needs(f, kPhaseout)) one.phaseout = make_real(s);
  if (needs(f, kCartout)) one.cartout = make_complex(s);
  check(call(m, f, false, one) == 0, "a readable sample failed alone", static_cast<long long>(k));
  auto same = [](const auto *whole, const auto *alone, size_t k) {
    return whole == nullptr || k >= whole->data_size || std::memcmp(&whole->data[k], &alone->data[0], sizeof alone->data[0]) == 0;
  };
  check(!needs(f, kMagout) || same(b.magout.get(), one.magout.get(), k), "magout differs alone", k);
  check(!needs(f, kPhaseout) || same(b.phaseout.get(), one.phaseout.get(), k), "phaseout differs alone", k);
  check(!needs(f, kCartout) || same(b.cartout.get(), one.cartout.get(), k), "cartout differs alone", k);
}

// The block again through the integer-word seam, when its inputs are words
// of the input width (the square root has no lane path: the seam declines).
void check_word_lanes(const Config &cfg, const Block &b) {
  const uint32_t f = cfg.CordicFunction;
  const size_t n = b.count;
  const int64_t lo = -(int64_t{1} << (cfg.InputWidth - 1)), hi = -lo - 1;
  std::vector<int64_t> x(n), y(n), z(n), a(n, 0), o(n, 0);
  auto word = [&](double v, int64_t &w) {
    if (!(v >= static_cast<double>(lo) && v <= static_cast<double>(hi) && std::floor(v) == v)) return false;
    w = static_cast<int64_t>(v);
    return true;
  };
  for (size_t k = 0; k < n; ++k) {
    if (needs(f, kCartin) && !(word(b.cartin->data[k].re, x[k]) && word(b.cartin->data[k].im, y[k]))) return;
    if (needs(f, kPhasein) && !word(b.phasein->data[k], z[k])) return;
    if (needs(f, kMagin) && !word(b.magin->data[k], x[k])) return;
  }
  const solvine::WordLanes lanes(cfg);
  const bool vectoring = f == 3 || f == 5;
  const bool ran = lanes.run(x.data(), y.data(), z.data(), n, vectoring ? nullptr : a.data(), o.data());
  check(ran == (f != 6), "the word seam declined a block of words, or took the square root");
  if (!ran) return;
  for (size_t k = 0; k < n; ++k) {
    bool same = true;
    if (f == 0 || f == 2 || f == 4) {
      if (k < b.cartout->data_size)
        same = b.cartout->data[k].re == static_cast<double>(a[k]) && b.cartout->data[k].im == static_cast<double>(o[k]);
    } else {
      if (f == 1 && k < b.magout->data_size) same = b.magout->data[k] == static_cast<double>(a[k]);
      if (k < b.phaseout->data_size) same = same && b.phaseout->data[k] == static_cast<double>(o[k]);
    }
    check(same, "the word seam gave other words", static_cast<long long>(k));
  }
}

void block_call(Input &in, const Model *m, const Config &cfg, Messages &msgs, bool with_handler) {
  const uint32_t f = cfg.CordicFunction;
  uint32_t code = f;
  if (in.rarely(16)) code = in.flag() ? in.u32() : (f + 1 + in.range(0, 5)) % 7;
  const bool convenience = code <= 6 && in.flag();
  Block b = decode_block(in, cfg, code);
  if (convenience) {  // the convenience calls pass only the arrays they name
    if (!needs(code, kMagin)) b.magin.reset();
    if (!needs(code, kPhasein)) b.phasein.reset();
    if (!needs(code, kCartin)) b.cartin.reset();
    if (!needs(code, kMagout)) b.magout.reset();
    if (!needs(code, kPhaseout)) b.phaseout.reset();
    if (!needs(code, kCartout)) b.cartout.reset();
  }
  const std::vector<uint64_t> inputs = snapshot(b);
  msgs.received.clear();
  const zelip_status st = call(m, code, convenience, b);
  check(st == 0 || st == 1, "a status other than 0 or 1", st);
  check(snapshot(b) == inputs, "an input array changed");

  bool arguments_ok = code == f;
  for (int slot = 0; slot < kSlots && arguments_ok; ++slot)
    if (needs(code, slot)) arguments_ok = b.present(slot) && b.first_dim(slot) && *b.first_dim(slot) == b.count;
  if (!arguments_ok) {
    check(st == 1 && msgs.received.empty(), "an argument fault not refused silently", st);
    check_outputs(b, f, 0, cfg.OutputWidth);
    return;
  }
  size_t k = 0;
  const char *bad = nullptr;
  for (; k < b.count && (bad = unreadable(b, f, k)) == nullptr; ++k) {
  }
  const std::string name = cfg.name ? cfg.name : "";
  if (bad != nullptr) {
    check(st == 1, "an unreadable sample not reported", static_cast<long long>(k));
    check(!with_handler || (msgs.received.size() == 1 && msgs.received[0].first == 1 &&
                            msgs.received[0].second == name + " ERROR: Problem reading data from " + bad),
          "an unreadable sample without its one message", static_cast<long long>(msgs.received.size()));
    check(with_handler || msgs.received.empty(), "a message without a handler");
  } else {
    check(st == 0 && msgs.received.empty(), "a readable block failed", st);
    if (b.count <= 4096) check_word_lanes(cfg, b);
  }
  check_outputs(b, f, k, cfg.OutputWidth);
  if (k > 0) check_alone(m, cfg, b, in.u32() % std::min<size_t>(k, 64));
}

// ---------------------------------------------------------------------------
// Array operations on every element type.

// A host table that counts its blocks and refuses an allocation when told to.
struct HostTable {
  zelip_array_ops ops;  // first, so a slot can reach the rest
  size_t element_bytes;
  int refuse_after;  // allocations still granted; below 0 refuses forever
  long live = 0;

  static HostTable &of(const zelip_array_ops *ops) {
    return *reinterpret_cast<HostTable *>(const_cast<zelip_array_ops *>(ops));
  }
  static void *realloc_slot(const zelip_array_ops *ops, void *block, size_t bytes) {
    HostTable &t = of(ops);
    if (t.refuse_after == 0) return nullptr;
    if (t.refuse_after > 0) --t.refuse_after;
    void *grown = std::realloc(block, bytes == 0 ? 1 : bytes);
    if (grown && !block) ++t.live;
    return grown;
  }
  static void free_slot(const zelip_array_ops *ops, void *block) {
    if (block) --of(ops).live;
    std::free(block);
  }
  static void init_slot(const zelip_array_ops *ops, void *e) { std::memset(e, 0xA5, of(ops).element_bytes); }
  static void copy_slot(const zelip_array_ops *ops, void *d, const void *s) { std::memmove(d, s, of(ops).element_bytes); }
};

// One element type: its exported functions and how to make, compare and
// release a host value of it.
template <class A, class E>
struct Api {
  A *(*create)();
  A *(*create_ex)(const zelip_array_ops *);
  zelip_status (*reserve_data)(A *, size_t);
  zelip_status (*reserve_dim)(A *, size_t);
  A *(*destroy)(A *);
  size_t (*sub1)(const A *, size_t);
  size_t (*sub4)(const A *, size_t, size_t, size_t, size_t);
  zelip_status (*set)(A *, const E *, size_t);
  zelip_status (*get)(const A *, E *, size_t);
  int mpz_parts;  // 0 for plain elements
  size_t bytes;
};

#define ZEL_ARRAY_API(T, E, parts, bytes)                                                                          \
  Api<zelip_array_##T, E> {                                                                                         \
    zelip_cordic_v6_0_zelip_array_##T##_create, zelip_cordic_v6_0_zelip_array_##T##_create_ex,                      \
        zelip_cordic_v6_0_zelip_array_##T##_reserve_data, zelip_cordic_v6_0_zelip_array_##T##_reserve_dim,          \
        zelip_cordic_v6_0_zelip_array_##T##_destroy, zelip_cordic_v6_0_zelip_array_##T##_sub2ind_1d,                \
        zelip_cordic_v6_0_zelip_array_##T##_sub2ind_4d, zelip_cordic_v6_0_zelip_array_##T##_set_element,            \
        zelip_cordic_v6_0_zelip_array_##T##_get_element, parts, bytes                                               \
  }

// A host-side element value: raw bytes, or initialised GMP integers.
struct Value {
  int parts;
  size_t bytes;
  alignas(16) unsigned char raw[32] = {};
  Value(int parts_, size_t bytes_, uint64_t seed) : parts(parts_), bytes(bytes_) {
    if (parts == 0) {
      for (size_t i = 0; i < bytes; ++i) raw[i] = static_cast<unsigned char>(seed >> (8 * (i % 8)) ^ i);
      return;
    }
    for (int i = 0; i < parts; ++i) {
      mpz_init_set_si(z(i), static_cast<long>(seed) >> (i * 7));
      mpz_mul_2exp(z(i), z(i), static_cast<mp_bitcnt_t>(seed % 200));
    }
  }
  ~Value() {
    for (int i = 0; i < parts; ++i) mpz_clear(z(i));
  }
  Value(const Value &) = delete;
  Value &operator=(const Value &) = delete;
  mpz_ptr z(int i) { return reinterpret_cast<mpz_ptr>(raw) + i; }
  bool operator==(Value &o) {
    if (parts == 0) return std::memcmp(raw, o.raw, bytes) == 0;
    for (int i = 0; i < parts; ++i)
      if (mpz_cmp(z(i), o.z(i)) != 0) return false;
    return true;
  }
};

template <class A, class E>
void array_ops(Input &in, const Api<A, E> &api) {
  HostTable table{{HostTable::realloc_slot, HostTable::free_slot, HostTable::init_slot, HostTable::copy_slot, nullptr,
                   nullptr, nullptr},
                  api.bytes,
                  in.rarely(64) ? in.range(0, 3) : -1};
  const bool host = api.mpz_parts == 0 && in.flag();
  check(api.create_ex(nullptr) == nullptr, "create_ex without a table");
  A *a = host ? api.create_ex(&table.ops) : api.create();
  if (a == nullptr) {
    check(host && table.refuse_after >= 0, "array create failed");
    return;
  }
  for (int ops = in.range(0, 10); ops > 0; --ops) {
    switch (in.range(0, 5)) {
      case 0:
      case 1: {  // grow the elements, sometimes by an impossible count
        static const size_t kHuge[] = {SIZE_MAX, SIZE_MAX / 16 + 1, size_t{1} << 60, SIZE_MAX / 2};
        const size_t n = in.rarely(60) ? kHuge[in.range(0, 3)] : static_cast<size_t>(in.range(0, 40));
        const bool dim = in.rarely(60);
        auto *const before_data = a->data;
        const size_t before = dim ? a->dim_capacity : a->data_capacity;
        const zelip_status st = dim ? api.reserve_dim(a, n) : api.reserve_data(a, n);
        const size_t after = dim ? a->dim_capacity : a->data_capacity;
        check(st == 0 || st == 1, "reserve status");
        if (n <= before) check(st == 0 && after == before, "reserve within capacity");
        if (st == 1) check(after == before && (dim || a->data == before_data), "a refused reserve changed the array");
        if (st == 0) check(after == std::max(before, n), "reserve gave another capacity", n, after);
        if (n > before && n > SIZE_MAX / api.bytes) check(st == 1, "a byte count that wraps was accepted");
        break;
      }
      case 2: {  // the host declares elements and dimensions within capacity
        a->data_size = a->data_capacity == 0 ? 0 : in.u32() % (a->data_capacity + 1);
        a->dim_size = a->dim_capacity == 0 ? 0 : in.u32() % (a->dim_capacity + 1);
        for (size_t d = 0; d < a->dim_size; ++d) a->dim[d] = in.range(0, 9);
        break;
      }
      case 3: {  // set, then get back
        const size_t k = in.rarely(40) ? SIZE_MAX - in.range(0, 2) : static_cast<size_t>(in.range(0, 40));
        Value v(api.mpz_parts, api.bytes, in.u64()), back(api.mpz_parts, api.bytes, 99), untouched(api.mpz_parts, api.bytes, 99);
        const zelip_status st = api.set(a, reinterpret_cast<const E *>(v.raw), k);
        const bool exists = a->data != nullptr && k < a->data_size;
        check(st == (exists ? 0 : 1), "set_element status", static_cast<long long>(k), st);
        const zelip_status gt = api.get(a, reinterpret_cast<E *>(back.raw), k);
        check(gt == st, "get_element status", static_cast<long long>(k), gt);
        check(st == 0 ? back == v : back == untouched, st == 0 ? "an element did not round-trip" : "a failed get wrote");
        check(api.set(a, nullptr, k) == 1 && api.get(a, nullptr, k) == 1, "a null element accepted");
        break;
      }
      case 4: {
        const size_t i = in.u32(), j = in.u32(), l = in.u64(), m = in.u64();
        check(api.sub1(a, i) == (a->dim != nullptr && a->dim_size > 0 ? i : 0), "sub2ind_1d", i);
        api.sub4(a, i, j, l, m);  // wraps, unchecked: must only return
        break;
      }
      default: {  // a view is never grown nor freed
        a->owner = 1;
        check(api.reserve_data(a, a->data_capacity + 1) == 1, "a view grew");
        check(api.destroy(a) == a, "a view was destroyed");
        a->owner = 0;
        break;
      }
    }
  }
  check(api.destroy(a) == nullptr, "destroy did not release the array");
  if (host) check(table.live == 0, "host blocks left after destroy", table.live);
}

void all_array_ops(Input &in) {
  const size_t mpz = sizeof(__mpz_struct);
  switch (in.range(0, 6)) {
    case 0: array_ops(in, ZEL_ARRAY_API(bit, uint8_t, 0, 1)); break;
    case 1: array_ops(in, ZEL_ARRAY_API(real, zelip_real, 0, sizeof(zelip_real))); break;
    case 2: array_ops(in, ZEL_ARRAY_API(complex, zelip_complex, 0, sizeof(zelip_complex))); break;
    case 3: array_ops(in, ZEL_ARRAY_API(uint, uint32_t, 0, 4)); break;
    case 4: array_ops(in, ZEL_ARRAY_API(uint32, uint32_t, 0, 4)); break;
    case 5: array_ops(in, ZEL_ARRAY_API(mpz, zelip_mpz, 1, mpz)); break;
    default: array_ops(in, ZEL_ARRAY_API(mpz_complex, zelip_mpz_complex, 2, 2 * mpz)); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in(data, size);
  std::string name;
  bool null_name = false;
  const Config cfg = decode_config(in, name, null_name);
  const bool with_handler = !in.rarely(16);
  Messages msgs;
  Model *m = zelip_cordic_v6_0_create(&cfg, with_handler ? Messages::handler : nullptr, &msgs);
  if (m == nullptr) {
    check(msgs.received.size() == (with_handler ? 1u : 0u) && (msgs.received.empty() || msgs.received[0].first == 1),
          "create failed without exactly one error message", static_cast<long long>(msgs.received.size()));
  } else {
    check(msgs.received.empty(), "create succeeded with a message");
    Config back;
    check(zelip_cordic_v6_0_get_config(m, &back) == 0, "get_config failed");
    check(back.CordicFunction == cfg.CordicFunction && back.CoarseRotate == cfg.CoarseRotate &&
              back.DataFormat == cfg.DataFormat && back.PhaseFormat == cfg.PhaseFormat &&
              back.InputWidth == cfg.InputWidth && back.OutputWidth == cfg.OutputWidth &&
              back.Iterations == cfg.Iterations && back.Precision == cfg.Precision &&
              back.RoundMode == cfg.RoundMode && back.ScaleComp == cfg.ScaleComp && back.Reserved == cfg.Reserved,
          "get_config gave other fields");
    check(back.name != nullptr && back.name != cfg.name && std::strcmp(back.name, null_name ? "" : name.c_str()) == 0,
          "get_config gave another name");
    for (int calls = in.range(0, 3); calls > 0; --calls) block_call(in, m, cfg, msgs, with_handler);
  }
  // A null model refuses everything, silently.
  zelip_array_real *r = zelip_cordic_v6_0_zelip_array_real_create();
  check(zelip_cordic_v6_0_data_do(nullptr, 0, r, r, nullptr, r, r, nullptr, 0) == 1, "a null model accepted");
  zelip_cordic_v6_0_zelip_array_real_destroy(r);
  check(zelip_cordic_v6_0_destroy(m) == (m == nullptr ? 1 : 0), "destroy status");
  for (int runs = in.range(0, 2); runs > 0; --runs) all_array_ops(in);
  return 0;
}
