// zelcores._core: the two models for Python. A call in its common form (a
// plain numpy array, default or simple arguments) is handled here whole: one
// C++ call reads the caller's array in place, converts and checks its words
// inside the worker loops (in cache, in the threads, one pass), runs the
// frames or samples with the GIL released on models kept per object, and
// builds the result object. Anything else returns None, and the pure-Python
// package (python/zelcores/) checks and converts the arguments first.
// Configuration goes through the shared readable names (common/settings.h).
#include "models.h"
#include "parallel.h"
#include "settings.h"
#include "solvine_words.h"
#include "vector_lanes.h"
#include "word_lanes.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <structmember.h>

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <complex>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace py = pybind11;

// Loops over the samples of a frame, compiled for AVX2 and AVX-512 besides
// the baseline and chosen when the module is loaded: the frame call of a fast
// FFT core costs a few microseconds, and these passes are part of it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define ZEL_LANES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define ZEL_LANES
#endif

namespace {

using Settings = std::vector<std::pair<std::string, zel::SettingValue>>;

// Workers for `threads` (0: one per core). The core count is read once: the
// system query costs more than a short transform.
unsigned workers_for(unsigned threads) {
  static const unsigned cores = zel::worker_count(0, std::numeric_limits<std::size_t>::max());
  return threads == 0 ? cores : threads;
}

// A Python value as a setting: bool, integer or text. Anything else (a float
// width, None) is refused here, in the words the shared names use.
zel::SettingValue to_setting(const std::string &key, py::handle value) {
  if (py::isinstance<py::bool_>(value) || py::str(py::type::of(value).attr("__name__")).cast<std::string>() == "bool_")
    return value.cast<bool>();
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (PyIndex_Check(value.ptr())) {
    if (PyObject *index = PyNumber_Index(value.ptr())) {
      py::int_ i = py::reinterpret_steal<py::int_>(index);
      int overflow = 0;
      const long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
      if (!overflow && !(v == -1 && PyErr_Occurred())) return static_cast<std::int64_t>(v);
    }
    PyErr_Clear();
  }
  throw zel::SettingError(key, "\"" + key + "\": expected an integer, true/false or a text, got " +
                                   py::repr(value).cast<std::string>());
}

Settings to_settings(const py::iterable &pairs) {
  Settings out;
  for (py::handle item : pairs) {
    auto pair = item.cast<py::tuple>();
    auto key = pair[0].cast<std::string>();
    out.emplace_back(key, to_setting(key, pair[1]));
  }
  return out;
}

py::object to_python(const zel::SettingValue &v) {
  if (const auto *b = std::get_if<bool>(&v)) return py::bool_(*b);
  if (const auto *i = std::get_if<std::int64_t>(&v)) return py::int_(*i);
  return py::str(std::get<std::string>(v));
}

py::dict to_dict(const Settings &settings) {
  py::dict d;
  for (const auto &[k, v] : settings) d[py::str(k)] = to_python(v);
  return d;
}

py::dict to_dict(const std::vector<std::pair<std::string, std::int64_t>> &fields) {
  py::dict d;
  for (const auto &[k, v] : fields) d[py::str(k)] = v;
  return d;
}

// ---- numpy arrays read in place ----

namespace npy = py::detail;

// The array behind `h` when it is a numpy array of aligned, C-contiguous
// elements in the machine's byte order, of kind `kind` ('f', 'c', 'i') and
// `size` bytes; nullptr otherwise (the caller then takes the checked path).
const npy::PyArray_Proxy *plain_array(py::handle h, char kind, int size) {
  if (!npy::npy_api::get().PyArray_Check_(h.ptr())) return nullptr;
  const auto *a = npy::array_proxy(h.ptr());
  const auto *d = npy::array_descriptor_proxy(a->descr);
  constexpr int need = npy::npy_api::NPY_ARRAY_C_CONTIGUOUS_ | npy::npy_api::NPY_ARRAY_ALIGNED_;
  constexpr char swapped = std::endian::native == std::endian::little ? '>' : '<';
  if ((a->flags & need) != need || d->byteorder == swapped || d->kind != kind || d->elsize != size) return nullptr;
  return a;
}

std::size_t elements(const npy::PyArray_Proxy *a) {
  std::size_t total = 1;
  for (int i = 0; i < a->nd; ++i) total *= static_cast<std::size_t>(a->dimensions[i]);
  return total;
}

// A Python int (not a bool) in [lo, hi], or nothing.
std::optional<std::int64_t> small_int(py::handle h, std::int64_t lo, std::int64_t hi) {
  if (!PyLong_CheckExact(h.ptr())) return std::nullopt;
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(h.ptr(), &overflow);
  if (overflow || (v == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    return std::nullopt;
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

bool truth(py::handle h) {
  const int t = PyObject_IsTrue(h.ptr());
  if (t < 0) throw py::error_already_set();
  return t != 0;
}

// Per-object pools of worker contexts (a model and its buffers): a call takes
// as many as it runs workers and gives them back, so models are built once
// per object, not per call. A few are kept; the rest go when a call ends.
template <class Worker>
class WorkerPool {
 public:
  WorkerPool() = default;
  WorkerPool(const WorkerPool &) = delete;
  WorkerPool &operator=(const WorkerPool &) = delete;
  ~WorkerPool() { delete first_.load(); }

  template <class Make>
  std::unique_ptr<Worker> take(Make make) {
    // The first context is swapped in and out without a lock: a call of
    // one frame takes just that.
    if (Worker *w = first_.exchange(nullptr)) return std::unique_ptr<Worker>(w);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        auto w = std::move(idle_.back());
        idle_.pop_back();
        return w;
      }
    }
    return make();
  }
  void give(std::unique_ptr<Worker> w) {
    Worker *none = nullptr;
    if (first_.compare_exchange_strong(none, w.get())) {
      w.release();
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < std::max(4u, workers_for(0))) idle_.push_back(std::move(w));
  }

 private:
  std::atomic<Worker *> first_{nullptr};
  std::mutex mutex_;
  std::vector<std::unique_ptr<Worker>> idle_;
};

template <class Worker>
struct Lease {
  WorkerPool<Worker> *pool;
  std::unique_ptr<Worker> w;
  Lease(WorkerPool<Worker> *p, std::unique_ptr<Worker> taken) : pool(p), w(std::move(taken)) {}
  Lease(Lease &&) = default;
  Lease &operator=(Lease &&) = delete;
  ~Lease() {
    if (w) pool->give(std::move(w));
  }
};

// Workers for `items` units of work worth `cost` samples each: an explicit
// count is honoured (up to one per item); by default one per core, each
// with at least kGrain samples (about half a millisecond of work): a new
// thread costs tens of microseconds to start, and on a virtual machine an
// idle core may take hundreds to wake, so that two workers on a
// 64-frame batch took longer than one.
unsigned plan_workers(unsigned threads, std::size_t items, std::size_t cost) {
  constexpr std::size_t kGrain = std::size_t{1} << 17;
  if (threads == 0) {
    const std::size_t most = std::max<std::size_t>(1, items * cost / kGrain);
    threads = static_cast<unsigned>(std::min<std::size_t>(workers_for(0), most));
  }
  return zel::worker_count(threads, items);
}

// The items on `workers` workers, the calling thread one of them: all in
// one go for one worker, else in blocks of `block` to whichever worker is
// free (a worker slowed down by other work on its core takes fewer).
template <class MakeContext, class Body>
void run_ranges(std::size_t items, unsigned workers, std::size_t block, MakeContext make_context, Body body) {
  if (workers <= 1) {
    if (items == 0) return;
    auto context = make_context();
    body(context, std::size_t{0}, items);
  } else {
    zel::parallel_blocks(items, workers, block, make_context, body);
  }
}

// The GIL released for the scope (the interpreter's own calls: cheaper than
// pybind11's guard, which matters on calls of a few microseconds).
class WithoutGil {
 public:
  WithoutGil() : state_(PyEval_SaveThread()) {}
  ~WithoutGil() { PyEval_RestoreThread(state_); }
  WithoutGil(const WithoutGil &) = delete;
  WithoutGil &operator=(const WithoutGil &) = delete;

 private:
  PyThreadState *state_;
};

// A new C-contiguous numpy array of `type` (an NPY_* number), not initialised.
py::object new_array(int type, int nd, const Py_intptr_t *dims) {
  auto &api = npy::npy_api::get();
  PyObject *descr = api.PyArray_DescrFromType_(type);
  if (!descr) throw py::error_already_set();
  PyObject *a = api.PyArray_NewFromDescr_(api.PyArray_Type_, descr, nd, dims, nullptr, nullptr, 0, nullptr);
  if (!a) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(a);
}

// Lowest position among workers (SIZE_MAX: none).
void lower_to(std::atomic<std::size_t> &at, std::size_t value) {
  std::size_t now = at.load();
  while (value < now && !at.compare_exchange_weak(now, value)) {
  }
}

// Large result arrays on memory that stays mapped: a new array of many
// megabytes costs the kernel a zeroed page for each page first touched,
// about as much memory traffic as the transforms that fill it (a batch then
// stops gaining from a second core). Arrays of 1 MB and more take their
// storage from buffers given back when earlier results are freed (up to
// 512 MB in all). An idle buffer is handed to the kernel as free to reclaim
// under memory pressure (MADV_FREE): until it does, taking the buffer again
// costs nothing; afterwards its pages come back zeroed. Smaller arrays are
// ordinary numpy arrays.
class BufferCache {
 public:
  static constexpr std::size_t kSmallest = std::size_t{1} << 20, kKept = std::size_t{512} << 20;

  void *take(std::size_t bytes, std::size_t &capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = idle_.begin(); it != idle_.end(); ++it)
      if (it->second >= bytes && it->second / 2 <= bytes) {
        void *p = it->first;
        capacity = it->second;
        kept_ -= it->second;
        idle_.erase(it);
        return p;
      }
    capacity = bytes;
    return nullptr;
  }

  void give(void *p, std::size_t capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (!idle_.empty() && kept_ + capacity > kKept) {  // the oldest go first
      std::free(idle_.front().first);
      kept_ -= idle_.front().second;
      idle_.erase(idle_.begin());
    }
    if (capacity > kKept) {
      std::free(p);
      return;
    }
#if defined(MADV_FREE)
    // Whole pages inside the buffer only (huge-page buffers are whole).
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto from = (reinterpret_cast<std::uintptr_t>(p) + page - 1) / page * page;
    const auto to = (reinterpret_cast<std::uintptr_t>(p) + capacity) / page * page;
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_FREE);  // advice: failure changes nothing
#endif
    idle_.emplace_back(p, capacity);
    kept_ += capacity;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<void *, std::size_t>> idle_;
  std::size_t kept_ = 0;
};

// Storage for a large result on huge pages where the kernel offers them on
// request: a fresh array of 160 MB otherwise costs 40,000 page faults, more
// than the transforms that fill it. Whole 2 MB pages, aligned to one.
void *huge_alloc(std::size_t bytes, std::size_t &capacity) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (bytes < kHuge) {
    capacity = bytes;
    return std::malloc(bytes);
  }
  capacity = (bytes + kHuge - 1) / kHuge * kHuge;
  void *p = std::aligned_alloc(kHuge, capacity);
#if defined(MADV_HUGEPAGE)
  if (p) madvise(p, capacity, MADV_HUGEPAGE);  // advice only: its failure changes nothing
#endif
  return p;
}

BufferCache &buffer_cache() {
  static auto *cache = new BufferCache;  // never destroyed: arrays may outlive the module's teardown
  return *cache;
}

// The shape is a list in braces: a short call allocates nothing for it.
template <class T>
py::array_t<T> result_array(std::initializer_list<Py_intptr_t> shape) {
  std::size_t count = 1;
  for (auto d : shape) count *= static_cast<std::size_t>(d);
  const std::size_t bytes = count * sizeof(T);
  if (bytes < BufferCache::kSmallest)
    return py::reinterpret_steal<py::array_t<T>>(
        new_array(npy::npy_format_descriptor<T>::value, static_cast<int>(shape.size()), shape.begin()).release());
  struct Block {
    void *data;
    std::size_t capacity;
  };
  auto *block = new Block{nullptr, 0};
  block->data = buffer_cache().take(bytes, block->capacity);
  if (!block->data) block->data = huge_alloc(bytes, block->capacity);
  if (!block->data) {
    delete block;
    throw std::bad_alloc();
  }
  py::capsule owner(block, [](void *b) {
    auto *blk = static_cast<Block *>(b);
    buffer_cache().give(blk->data, blk->capacity);
    delete blk;
  });
  return py::array_t<T>(std::vector<Py_intptr_t>(shape), static_cast<T *>(block->data), owner);
}

// ---- FFT ----

// The package's classes, bound once when zelcores.fft is imported: results
// are built here without running Python code, warnings and errors raised
// here. The references are kept for the life of the process.
struct FftClasses {
  PyTypeObject *result = nullptr;
  PyObject *slots[5] = {};  // X, block_exp, overflow, schedule_shift, _fft
  PyObject *error = nullptr;
  PyObject *warning = nullptr;
} g_fft;

void bind_fft_classes(py::handle result, py::handle error, py::handle warning) {
  static const char *const names[5] = {"X", "block_exp", "overflow", "schedule_shift", "_fft"};
  FftClasses c;
  if (!PyType_Check(result.ptr())) throw py::type_error("internal: FFTResult must be a class");
  c.result = reinterpret_cast<PyTypeObject *>(result.inc_ref().ptr());
  for (int i = 0; i < 5; ++i) {
    py::object d = result.attr(names[i]);
    if (!Py_TYPE(d.ptr())->tp_descr_set) throw py::type_error("internal: FFTResult slots must be descriptors");
    c.slots[i] = d.release().ptr();
  }
  c.error = error.inc_ref().ptr();
  c.warning = warning.inc_ref().ptr();
  g_fft = c;
}

py::object make_fft_result(py::handle fft, py::handle X, py::handle block_exp, py::handle overflow,
                           py::handle shift) {
  if (!g_fft.result) throw py::type_error("internal: zelcores.fft did not bind its classes");
  auto obj = py::reinterpret_steal<py::object>(g_fft.result->tp_alloc(g_fft.result, 0));
  if (!obj) throw py::error_already_set();
  const py::handle values[5] = {X, block_exp, overflow, shift, fft};
  for (int i = 0; i < 5; ++i)
    if (Py_TYPE(g_fft.slots[i])->tp_descr_set(g_fft.slots[i], obj.ptr(), values[i].ptr()) < 0)
      throw py::error_already_set();
  return obj;
}

// How a call reads the frames it is given (all C-contiguous, frames first).
enum class FftInput { real, complex, real_words, complex_words };

struct FftWorker {
  std::unique_ptr<zel::FftModel> model;
  std::vector<double> buffers;  // samples in, then the results over them: two frames
};

class FftCore {
 public:
  explicit FftCore(const py::iterable &settings) {
    generics_ = zel::fft_generics_from(to_settings(settings));
    std::unique_ptr<FftWorker> first;
    try {
      first = new_worker();
    } catch (const zel::ModelError &e) {
      throw py::value_error(e.what());
    }
    pool_.give(std::move(first));
    schedule_core_ = generics_.C_HAS_SCALING == 1 && generics_.C_HAS_BFP == 0 && generics_.C_USE_FLT_PT != 1;
  }

  py::dict generics() const { return to_dict(zel::fft_raw(generics_)); }
  py::dict settings() const { return to_dict(zel::fft_readable(generics_)); }
  std::int32_t points(std::int32_t nfft) const {
    const std::int32_t log2n = generics_.C_HAS_NFFT == 1 && nfft >= 0 ? nfft : generics_.C_NFFT_MAX;
    return log2n >= 0 && log2n < 31 ? std::int32_t{1} << log2n : 0;
  }

  // The whole of FFT.__call__ for arguments in their plain form: x a
  // C-contiguous float64 / complex128 array (int64 words with `words`),
  // schedule None, a list or tuple of ints or an int32/int64 array, nfft
  // None or an int, threads None or an int >= 0. Returns the FFTResult, or
  // None for anything else, which the package then checks and converts
  // before calling again. Warnings of the core are issued, a refused call
  // raises FFTError.
  // `stacklevel` of the warnings: 2 when called from FFT's own Python code,
  // 1 as FFT.__call__ itself (the caller's line either way).
  py::object call(py::handle fft, py::handle x, py::handle schedule, py::handle nfft, py::handle inverse,
                  py::handle threads, py::handle words, int stacklevel = 2) {
    unsigned nthreads = 0;
    if (!threads.is_none()) {
      const auto t = small_int(threads, 0, std::numeric_limits<std::int64_t>::max());
      if (!t) return py::none();
      nthreads = static_cast<unsigned>(std::min<std::int64_t>(*t, 1 << 16));
    }
    std::int32_t log2n = -1;
    if (!nfft.is_none()) {
      const auto v = small_int(nfft, 0, std::numeric_limits<std::int32_t>::max());
      if (!v) return py::none();
      log2n = static_cast<std::int32_t>(*v);
    }
    const bool word_input = truth(words);
    const bool forward = !truth(inverse);

    // The frames.
    FftInput input;
    const npy::PyArray_Proxy *a;
    bool batch;
    if (word_input) {
      if (generics_.C_USE_FLT_PT == 1 || !(a = plain_array(x, 'i', 8))) return py::none();
      const bool pairs = a->nd >= 2 && a->dimensions[a->nd - 1] == 2;
      const int core = pairs ? 2 : 1;
      if (a->nd != core && a->nd != core + 1) return py::none();
      batch = a->nd == core + 1;
      input = pairs ? FftInput::complex_words : FftInput::real_words;
    } else {
      if ((a = plain_array(x, 'c', 16))) {
        input = FftInput::complex;
      } else if ((a = plain_array(x, 'f', 8))) {
        input = FftInput::real;
      } else {
        return py::none();
      }
      if (a->nd != 1 && a->nd != 2) return py::none();
      batch = a->nd == 2;
    }
    const auto frames = static_cast<std::size_t>(batch ? a->dimensions[0] : 1);
    const auto n64 = a->dimensions[batch ? 1 : 0];
    if (n64 > std::numeric_limits<std::int32_t>::max())
      throw py::value_error("a frame of " + std::to_string(n64) + " samples is longer than any transform");
    const auto n = static_cast<std::size_t>(n64);

    // The schedule.
    const std::int32_t *sch = nullptr;
    std::int32_t sch_size = 0;
    bool per_frame = false;
    std::vector<std::int32_t> sch_copy;
    if (schedule.is_none()) {
      if (schedule_core_) {
        std::int32_t stages_of = generics_.C_NFFT_MAX;
        if (generics_.C_HAS_NFFT == 1) {
          if (log2n >= 0)
            stages_of = log2n;
          else if (n > 0 && (n & (n - 1)) == 0)
            stages_of = std::countr_zero(n);
        }
        if (stages_of > 30) return py::none();
        const auto &d = default_schedule(stages_of);
        sch = d.data();
        sch_size = static_cast<std::int32_t>(d.size());
      }
    } else if (PyList_CheckExact(schedule.ptr()) || PyTuple_CheckExact(schedule.ptr())) {
      const Py_ssize_t m = PySequence_Fast_GET_SIZE(schedule.ptr());
      if (m == 0) return py::none();
      PyObject **items = PySequence_Fast_ITEMS(schedule.ptr());
      sch_copy.resize(static_cast<std::size_t>(m));
      for (Py_ssize_t i = 0; i < m; ++i) {
        const auto v = small_int(items[i], std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max());
        if (!v) return py::none();
        sch_copy[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(*v);
      }
      sch = sch_copy.data();
      sch_size = static_cast<std::int32_t>(m);
    } else {
      const npy::PyArray_Proxy *s = plain_array(schedule, 'i', 4);
      const npy::PyArray_Proxy *s64 = s ? nullptr : plain_array(schedule, 'i', 8);
      if (!s) s = s64;
      if (!s || s->nd < 1 || s->nd > 2 || (s->nd == 2 && (!batch || static_cast<std::size_t>(s->dimensions[0]) != frames)))
        return py::none();
      if (s->dimensions[s->nd - 1] > std::numeric_limits<std::int32_t>::max()) return py::none();
      per_frame = s->nd == 2;
      sch_size = static_cast<std::int32_t>(s->dimensions[s->nd - 1]);
      if (s64) {
        const auto *v = reinterpret_cast<const std::int64_t *>(s64->data);
        const std::size_t total = elements(s64);
        sch_copy.resize(total);
        for (std::size_t i = 0; i < total; ++i) {
          if (v[i] < std::numeric_limits<std::int32_t>::min() || v[i] > std::numeric_limits<std::int32_t>::max())
            return py::none();
          sch_copy[i] = static_cast<std::int32_t>(v[i]);
        }
        sch = sch_copy.data();
      } else {
        sch = reinterpret_cast<const std::int32_t *>(s->data);
      }
    }

    // Outputs, then the frames with the GIL released.
    const auto pf = static_cast<py::ssize_t>(frames), pn = static_cast<py::ssize_t>(n);
    auto X = batch ? result_array<std::complex<double>>({pf, pn}) : result_array<std::complex<double>>({pn});
    py::object block_exp, overflow;  // arrays for a batch, made after the run for one frame
    std::int64_t *be = nullptr, *ov = nullptr;
    if (batch) {
      auto b = result_array<std::int64_t>({pf}), o = result_array<std::int64_t>({pf});
      be = b.mutable_data();
      ov = o.mutable_data();
      block_exp = std::move(b);
      overflow = std::move(o);
    }
    // One frame's result on the stack: a short call allocates nothing here.
    zel::FftFrameResult one;
    std::vector<zel::FftFrameResult> many(frames > 1 ? frames : 0);
    zel::FftFrameResult *const results = frames > 1 ? many.data() : &one;
    std::atomic<std::size_t> bad_word{SIZE_MAX};
    {
      // Other Python threads run while the frames do, however short the call.
      WithoutGil release;
      run_frames(input, a->data, frames, n, sch, sch_size, per_frame, log2n, forward, nthreads, X.mutable_data(),
                 results, be, ov, bad_word);
    }

    if (bad_word.load() != SIZE_MAX) throw py::value_error(word_message(input, a, frames, n, bad_word.load()));
    for (std::size_t f = 0; f < frames; ++f) {
      for (const auto &line : results[f].warnings)
        if (PyErr_WarnEx(g_fft.warning ? g_fft.warning : PyExc_UserWarning, line.c_str(), stacklevel) < 0)
          throw py::error_already_set();
      if (results[f].code != 0) {
        if (!g_fft.error) throw std::runtime_error(results[f].error);
        py::object e = py::reinterpret_borrow<py::object>(g_fft.error)(results[f].error, results[f].code, f);
        PyErr_SetObject(g_fft.error, e.ptr());
        throw py::error_already_set();
      }
    }

    // The total right shift of the schedule, per frame.
    py::object shift;
    if (schedule_core_ && sch && per_frame) {
      auto s = result_array<std::int64_t>({pf});
      auto *d = s.mutable_data();
      for (std::size_t f = 0; f < frames; ++f)
        d[f] = std::accumulate(sch + f * sch_size, sch + (f + 1) * sch_size, std::int64_t{0});
      shift = std::move(s);
    } else {
      const std::int64_t total = schedule_core_ && sch ? std::accumulate(sch, sch + sch_size, std::int64_t{0}) : 0;
      if (batch) {
        auto s = result_array<std::int64_t>({pf});
        std::fill_n(s.mutable_data(), frames, total);
        shift = std::move(s);
      } else {
        shift = py::int_(total);
      }
    }
    if (batch) return make_fft_result(fft, X, block_exp, overflow, shift);
    return make_fft_result(fft, X, py::int_(results[0].block_exp), py::int_(results[0].overflow), shift);
  }

 private:
  std::unique_ptr<FftWorker> new_worker() {
    auto w = std::make_unique<FftWorker>();
    w->model = std::make_unique<zel::FftModel>(generics_);
    return w;
  }

  const std::vector<std::int32_t> &default_schedule(std::int32_t log2n) {
    auto &d = defaults_[static_cast<std::size_t>(log2n)];
    if (d.empty() && log2n > 0) {
      if (generics_.C_ARCH == 1 || generics_.C_ARCH == 3) {
        d.assign(static_cast<std::size_t>(log2n / 2), 2);
        if (log2n % 2) d.push_back(1);
      } else {
        d.assign(static_cast<std::size_t>(log2n), 1);
      }
    }
    return d;
  }

  void run_frames(FftInput input, const void *src, std::size_t frames, std::size_t n, const std::int32_t *sch,
                  std::int32_t sch_size, bool per_frame, std::int32_t nfft, bool forward, unsigned threads,
                  std::complex<double> *X, zel::FftFrameResult *results, std::int64_t *be,
                  std::int64_t *ov, std::atomic<std::size_t> &bad_word) {
    const int width = generics_.C_INPUT_WIDTH;
    const double unit = std::ldexp(1.0, -(width - 1));
    const std::int64_t top = std::int64_t{1} << (width - 1);
    // Blocks of about 16,000 samples (a tenth of a millisecond) a worker.
    run_ranges(
        frames, plan_workers(threads, frames, n), std::max<std::size_t>(1, 16384 / std::max<std::size_t>(n, 1)),
        [&] {
          return Lease<FftWorker>{&pool_, pool_.take([&] { return new_worker(); })};
        },
        [&](Lease<FftWorker> &lease, std::size_t first, std::size_t last) {
          // A block wholly past a word out of range: the call fails with that word's message.
          if (first * n > bad_word.load(std::memory_order_relaxed)) return;
          auto &buf = lease.w->buffers;
          // Frames that need copying (real samples, words, samples off the
          // grid, floating-point cores): the results land on the samples, as
          // the model has turned every sample into its own words before it
          // writes the first result, and writes outputs only on success; one
          // pair of arrays takes half the cache of two. The two parts start at
          // different offsets within a page, so that their loads and stores
          // are not taken for one another (4 kB aliasing).
          if (buf.size() < 2 * n + 16) buf.resize(2 * n + 16);
          double *re = buf.data(), *im = re + n + 8, *out_re = re, *out_im = im;
          for (std::size_t f = first; f < last; ++f) {
            const std::int32_t *fs = sch && per_frame ? sch + f * sch_size : sch;
            double *Xf = reinterpret_cast<double *>(X + f * n);
            // Complex samples are read where they are and the results written
            // straight into X when the model takes the frame as it is held
            // (fixed-point samples on the grid, the common case): no copies.
            std::optional<zel::FftFrameResult> direct;
            if (input == FftInput::complex)
              direct = lease.w->model->run_pairs(static_cast<const double *>(src) + f * n * 2,
                                                 static_cast<std::int32_t>(n), fs, sch_size, nfft, forward, Xf);
            if (direct) {
              if (be) be[f] = direct->code == 0 ? direct->block_exp : 0, ov[f] = direct->code == 0 ? direct->overflow : 0;
              results[f] = std::move(*direct);
              continue;
            }
            const std::size_t bad = load(input, src, f, n, unit, top, re, im);
            if (bad != SIZE_MAX) {
              lower_to(bad_word, bad);
              return;  // the call fails with this word's message; nothing more to do here
            }
            zel::FftFrameResult r = lease.w->model->run(re, im, static_cast<std::int32_t>(n), fs, sch_size, nfft,
                                                        forward, out_re, out_im);
            if (r.code == 0) {
              join(out_re, out_im, Xf, n);
              if (be) be[f] = r.block_exp, ov[f] = r.overflow;
            } else if (be) {
              be[f] = ov[f] = 0;
            }
            results[f] = std::move(r);
          }
        });
  }

  // One frame of the caller's data as the two double arrays the model takes.
  // Parts are copied, never computed, so infinities, NaNs and negative zeros
  // arrive exactly; words are checked against the input port's range and
  // scaled by a power of two, which is exact. Returns the position of the
  // first word outside the range in the caller's array, else SIZE_MAX.
  static std::size_t load(FftInput input, const void *src, std::size_t f, std::size_t n, double unit,
                          std::int64_t top, double *re, double *im) {
    switch (input) {
      case FftInput::real:
        copy_real(static_cast<const double *>(src) + f * n, re, im, n);
        return SIZE_MAX;
      case FftInput::complex:
        split(static_cast<const double *>(src) + f * n * 2, re, im, n);
        return SIZE_MAX;
      case FftInput::real_words: {
        const auto *x = static_cast<const std::int64_t *>(src) + f * n;
        if (words_real(x, re, im, n, unit, top))
          for (std::size_t k = 0; k < n; ++k)
            if (x[k] < -top || x[k] >= top) return f * n + k;
        return SIZE_MAX;
      }
      case FftInput::complex_words: {
        const auto *x = static_cast<const std::int64_t *>(src) + f * n * 2;
        if (words_split(x, re, im, n, unit, top))
          for (std::size_t i = 0; i < 2 * n; ++i)
            if (x[i] < -top || x[i] >= top) return f * n * 2 + i;
        return SIZE_MAX;
      }
    }
    return SIZE_MAX;
  }

  // The loops of load() and of the results, on pointers that do not alias,
  // so that the compiler runs them in vector lanes. Words are turned into
  // doubles through the bits of 2^52 + 2^51 (exact below 2^51; input words
  // have at most 34 bits) and checked with one shift: w is in [-top, top)
  // exactly when w + top has no bit at or above log2(2 top).
  static constexpr double kMagic = 6755399441055744.0;  // 2^52 + 2^51
  static constexpr std::uint64_t kMagicBits = 0x4338000000000000;

  ZEL_LANES static void copy_real(const double *__restrict x, double *__restrict re, double *__restrict im, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) re[k] = x[k], im[k] = 0.0;
  }
  ZEL_LANES static void split(const double *__restrict x, double *__restrict re, double *__restrict im, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) re[k] = x[2 * k], im[k] = x[2 * k + 1];
  }
  static double word_value(std::int64_t w, double unit) {
    return (std::bit_cast<double>(static_cast<std::uint64_t>(w) + kMagicBits) - kMagic) * unit;
  }
  ZEL_LANES static bool words_real(const std::int64_t *__restrict x, double *__restrict re, double *__restrict im,
                         std::size_t n, double unit, std::int64_t top) {
    const int shift = std::countr_zero(static_cast<std::uint64_t>(2 * top));
    std::uint64_t bad = 0;
    for (std::size_t k = 0; k < n; ++k) {
      bad |= static_cast<std::uint64_t>(x[k] + top) >> shift;
      re[k] = word_value(x[k], unit), im[k] = 0.0;
    }
    return bad != 0;
  }
  ZEL_LANES static bool words_split(const std::int64_t *__restrict x, double *__restrict re, double *__restrict im,
                          std::size_t n, double unit, std::int64_t top) {
    const int shift = std::countr_zero(static_cast<std::uint64_t>(2 * top));
    std::uint64_t bad = 0;
    for (std::size_t k = 0; k < n; ++k) {
      bad |= (static_cast<std::uint64_t>(x[2 * k] + top) | static_cast<std::uint64_t>(x[2 * k + 1] + top)) >> shift;
      re[k] = word_value(x[2 * k], unit), im[k] = word_value(x[2 * k + 1], unit);
    }
    return bad != 0;
  }
  ZEL_LANES static void join(const double *__restrict re, const double *__restrict im, double *__restrict out, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) out[2 * k] = re[k], out[2 * k + 1] = im[k];
  }

  std::string word_message(FftInput input, const npy::PyArray_Proxy *a, std::size_t frames, std::size_t n,
                           std::size_t i) const {
    const int width = generics_.C_INPUT_WIDTH;
    const std::int64_t lo = -(std::int64_t{1} << (width - 1)), hi = (std::int64_t{1} << (width - 1)) - 1;
    const std::int64_t word = reinterpret_cast<const std::int64_t *>(a->data)[i];
    std::string where;
    if (input == FftInput::complex_words) {
      const std::size_t s = i / 2;
      where = "sample " + std::to_string(s % n) + (i % 2 ? " (imaginary part)" : " (real part)");
      if (frames > 1) where = "frame " + std::to_string(s / n) + ", " + where;
    } else {
      where = "sample " + std::to_string(i % n);
      if (frames > 1) where = "frame " + std::to_string(i / n) + ", " + where;
    }
    return "input word " + std::to_string(word) + " at " + where + " is outside the " + std::to_string(width) +
           "-bit range " + std::to_string(lo) + " to " + std::to_string(hi);
  }

  korvane_ip_zelfft_v9_0_generics generics_;
  bool schedule_core_ = false;
  WorkerPool<FftWorker> pool_;
  std::array<std::vector<std::int32_t>, 31> defaults_;  // default schedules by log2 length, made under the GIL
};

// ---- CORDIC ----

struct CordicWorker {
  std::unique_ptr<zel::CordicModel> model;
  std::unique_ptr<solvine::WordLanes> lanes;  // the words straight into the model's lanes, where it has them
  std::vector<double> in, out;  // a chunk of the arguments, pairs interleaved
};

class CordicCore {
 public:
  // Samples converted, checked and computed per chunk, in a worker's cache
  // (128 kB of doubles at most); fewer and the library's set-up of each call
  // shows.
  static constexpr std::size_t kChunk = 4096;

  explicit CordicCore(const py::iterable &settings) : settings_(zel::cordic_settings_from(to_settings(settings))) {
    std::unique_ptr<CordicWorker> first;
    try {
      first = new_worker();
    } catch (const zel::ModelError &e) {
      throw py::value_error(e.what());
    }
    pool_.give(std::move(first));
    const auto &c = settings_.config();
    width_ = static_cast<int>(c.InputWidth);
    const bool unsigned_root = c.CordicFunction == 6 && (c.DataFormat == 1 || c.DataFormat == 2);
    lo_ = unsigned_root ? 0 : -(std::int64_t{1} << (width_ - 1));
    hi_ = unsigned_root ? (std::int64_t{1} << width_) - 1 : (std::int64_t{1} << (width_ - 1)) - 1;
    kind_ = unsigned_root ? "unsigned" : "signed";
  }

  py::dict config() const { return to_dict(zel::cordic_raw(settings_.config())); }
  py::dict settings() const { return to_dict(zel::cordic_readable(settings_.config())); }

  // Runs the configured function on equally long C-contiguous 1-D int64 word
  // arrays (in the order of its signature) that came from arrays of `ndim`
  // dimensions. A word outside the input range raises ValueError naming the
  // first one (first argument first). Returns (outputs as int64 arrays,
  // error text or None).
  py::tuple run(const py::list &inputs, unsigned threads, int ndim) {
    const zel::CordicSignature &sig = zel::cordic_signature(settings_.config().CordicFunction);
    const std::size_t nin = sig.inputs.size(), nout = sig.outputs.size();
    if (inputs.size() != nin) throw py::value_error("internal: wrong number of CORDIC inputs");
    std::vector<const std::int64_t *> in(nin);
    std::size_t count = 0;
    for (std::size_t i = 0; i < nin; ++i) {
      const npy::PyArray_Proxy *a = plain_array(inputs[i], 'i', 8);
      if (!a || a->nd != 1 || (i > 0 && static_cast<std::size_t>(a->dimensions[0]) != count))
        throw py::value_error("internal: CORDIC inputs must be C-contiguous 1-D int64 arrays of one length");
      count = static_cast<std::size_t>(a->dimensions[0]);
      in[i] = reinterpret_cast<const std::int64_t *>(a->data);
    }
    py::list results;
    std::vector<std::int64_t *> out(nout);
    for (std::size_t o = 0; o < nout; ++o) {
      auto arr = result_array<std::int64_t>({static_cast<py::ssize_t>(count)});
      out[o] = arr.mutable_data();
      results.append(std::move(arr));
    }

    std::atomic<bool> bad{false};
    std::atomic<std::size_t> failed_at{SIZE_MAX};
    std::mutex error_mutex;
    std::string error;
    {
      WithoutGil release;
      const std::size_t chunks = (count + kChunk - 1) / kChunk;
      const bool stream = count * sizeof(std::int64_t) >= BufferCache::kSmallest;
      run_ranges(
          chunks, plan_workers(threads, chunks, kChunk), 1,
          [&] {
            return Lease<CordicWorker>{&pool_, pool_.take([&] { return new_worker(); })};
          },
          [&](Lease<CordicWorker> &lease, std::size_t first, std::size_t last) {
            CordicWorker &w = *lease.w;
            // Pairs stay interleaved as the library holds them: the words are
            // converted on the way in and out, in one pass each.
            const std::uint32_t f = settings_.config().CordicFunction;
            const bool cart_in = f == 0 || f == 1 || f == 3 || f == 5, cart_out = f == 0 || f == 2 || f == 4;
            w.in.resize(3 * kChunk);
            w.out.resize(2 * kChunk);
            double *const in_pairs = w.in.data(), *const in_real = w.in.data() + 2 * kChunk;
            double *const out_a = w.out.data(), *const out_b = w.out.data() + kChunk;
            zel::CordicModel::Views v;
            if (cart_in) v.cart_in = in_pairs;
            if (f == 0 || f == 2 || f == 4) v.phase_in = in_real;
            if (f == 6) v.mag_in = in_real, v.mag_out = out_a;
            if (cart_out) v.cart_out = out_a;
            if (f == 1) v.mag_out = out_a, v.phase_out = out_b;
            if (f == 3 || f == 5) v.phase_out = out_a;
            const std::int64_t *real_words = cart_in ? (nin == 3 ? in[2] : nullptr) : in[0];
            for (std::size_t c = first; c < last && !bad.load(std::memory_order_relaxed); ++c) {
              const std::size_t at = c * kChunk, len = std::min(kChunk, count - at);
              if (w.lanes) {
                // The words go to the model's lanes as they are, the results
                // straight into the outputs: checked here, then computed
                // while still in the cache.
                for (const std::int64_t *words : in)
                  if (zel::lanes::first_outside(words + at, len, lo_, width_) != len) {
                    bad = true;  // the message is found afterwards, in argument order
                    return;
                  }
                const std::int64_t *x = cart_in ? in[0] + at : nullptr, *y = cart_in ? in[1] + at : nullptr;
                const std::int64_t *z = real_words ? real_words + at : nullptr;
                const bool vectoring = f == 3 || f == 5;
                if (w.lanes->run(x, y, z, len, vectoring ? nullptr : out[0] + at, out[vectoring ? 0 : 1] + at))
                  continue;
              }
              std::uint64_t outside = 0;
              if (cart_in) outside |= zelpy::words_to_pairs(in[0] + at, in[1] + at, in_pairs, len, lo_, width_);
              if (real_words) outside |= zelpy::words_to_doubles(real_words + at, in_real, len, lo_, width_);
              if (outside) {
                bad = true;  // the message is found afterwards, in argument order
                return;
              }
              // Past a failing sample the words are still checked, as a word
              // outside its range is reported first; chunks before it still
              // run, as the first failing sample is the one reported.
              if (at > failed_at.load(std::memory_order_relaxed)) continue;
              try {
                w.model->run_views(v, len);  // a failed block's outputs are dropped
              } catch (const zel::ModelError &e) {
                std::lock_guard<std::mutex> lock(error_mutex);
                if (at < failed_at.load()) failed_at = at, error = e.what();
                continue;
              }
              if (cart_out) {
                zelpy::pairs_to_words(out_a, out[0] + at, out[1] + at, len, stream);
              } else {
                for (std::size_t o = 0; o < nout; ++o)
                  zelpy::doubles_to_words(o == 0 ? out_a : out_b, out[o] + at, len, stream);
              }
            }
            if (stream) zelpy::stream_fence();  // the streamed words are visible before the worker ends
          });
    }
    if (bad.load()) throw py::value_error(range_message(sig, in, count, ndim));
    return py::make_tuple(results, error.empty() ? py::object(py::none()) : py::object(py::str(error)));
  }

 private:
  std::unique_ptr<CordicWorker> new_worker() {
    auto w = std::make_unique<CordicWorker>();
    w->model = std::make_unique<zel::CordicModel>(settings_);
    auto lanes = std::make_unique<solvine::WordLanes>(settings_.config());  // accepted just above
    if (lanes->available()) w->lanes = std::move(lanes);
    return w;
  }

  std::string range_message(const zel::CordicSignature &sig, const std::vector<const std::int64_t *> &in,
                            std::size_t count, int ndim) const {
    static const char *const functions[7] = {"rotate", "translate", "sin_cos", "atan", "sinh_cosh", "atanh", "sqrt"};
    for (std::size_t i = 0; i < in.size(); ++i)
      for (std::size_t k = 0; k < count; ++k)
        if (in[i][k] < lo_ || in[i][k] > hi_)
          return std::string(functions[settings_.config().CordicFunction % 7]) + ": " + std::string(sig.inputs[i]) +
                 " word " + std::to_string(in[i][k]) + (ndim ? " at index " + std::to_string(k) : std::string()) +
                 " is outside the " + std::to_string(width_) + "-bit " + kind_ + " range " + std::to_string(lo_) +
                 " to " + std::to_string(hi_);
    return "internal: a word outside its range was not found again";
  }

  zel::CordicSettings settings_;
  WorkerPool<CordicWorker> pool_;
  int width_ = 0;
  std::int64_t lo_ = 0, hi_ = 0;
  std::string kind_;
};

// fft_call(handle, fft, x, schedule, nfft, inverse, threads, words): FftCore::call
// as a plain interpreter function, without pybind11's argument dispatch (a
// fifth of a short call). `handle` is the capsule of FftCore.handle.
constexpr const char *kFftHandle = "zelcores.FftCore";

PyObject *fft_call(PyObject *, PyObject *const *args, Py_ssize_t nargs) {
  try {
    if (nargs != 8) throw py::type_error("fft_call takes 8 arguments");
    auto *core = static_cast<std::shared_ptr<FftCore> *>(PyCapsule_GetPointer(args[0], kFftHandle));
    if (!core) throw py::error_already_set();
    return (*core)->call(args[1], args[2], args[3], args[4], args[5], args[6], args[7]).release().ptr();
  } catch (...) {
    py::detail::translate_exception(std::current_exception());
    return nullptr;
  }
}

PyMethodDef fft_call_def = {"fft_call", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fft_call)),
                            METH_FASTCALL, "FftCore.call(fft, x, schedule, nfft, inverse, threads, words) by handle."};

// FFT.__call__ itself: the interpreter calls it without a Python frame of
// its own (a tenth of a short call). Arguments in their plain form (x and
// the keywords by position or name) go to FftCore::call; anything else, and
// any call it does not take, goes to the package's full implementation
// (FFT._call) with the arguments as they came, which also raises the
// interpreter's own errors for wrong arguments.
struct FftMethod {
  PyObject *impl = nullptr;     // FFT._call
  PyObject *handle = nullptr;   // "_handle", interned
  PyObject *names[6] = {};      // the parameters, interned
  std::string doc;              // the method's text, with its signature
  PyMethodDef def{};
} g_fft_method;

// The base of FFT: the interpreter calls its instances through a function
// pointer they carry (vectorcall), without the argument tuple and keyword
// dict it otherwise builds for an instance of a class (a fifth of a short
// call), and the instance holds the core's handle (`_handle`) in place.
struct FastCallBase {
  PyObject_HEAD
  vectorcallfunc vectorcall;
  PyObject *handle;
};
PyTypeObject *g_fast_call_base = nullptr;  // made once, kept for the life of the process

PyObject *fft_method(PyObject *self, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames);

PyObject *fast_call(PyObject *self, PyObject *const *args, std::size_t nargsf, PyObject *kwnames) {
  return fft_method(self, args, PyVectorcall_NARGS(nargsf), kwnames);
}

PyObject *fast_call_new(PyTypeObject *type, PyObject *, PyObject *) {
  PyObject *self = type->tp_alloc(type, 0);
  if (self) reinterpret_cast<FastCallBase *>(self)->vectorcall = &fast_call;
  return self;
}

void fast_call_dealloc(PyObject *self) {
  PyTypeObject *type = Py_TYPE(self);
  Py_CLEAR(reinterpret_cast<FastCallBase *>(self)->handle);
  type->tp_free(self);
  Py_DECREF(type);  // instances of heap types hold their type
}

PyMemberDef fast_call_members[] = {
    {"_handle", T_OBJECT_EX, offsetof(FastCallBase, handle), 0, "The handle of the FFT's core."},
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(FastCallBase, vectorcall), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr}};

PyType_Slot fast_call_slots[] = {{Py_tp_new, reinterpret_cast<void *>(&fast_call_new)},
                                 {Py_tp_dealloc, reinterpret_cast<void *>(&fast_call_dealloc)},
                                 {Py_tp_call, reinterpret_cast<void *>(&PyVectorcall_Call)},
                                 {Py_tp_members, fast_call_members},
                                 {0, nullptr}};

PyType_Spec fast_call_spec = {"zelcores._core.FastCallBase", sizeof(FastCallBase), 0,
                              Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_VECTORCALL,
                              fast_call_slots};

// A class defined in Python does not take its base's vectorcall (its
// instances are called through __call__); `cls` (FFT) is given it once its
// __call__ is in place, as that call and this one run the same function.
void enable_fast_calls(py::handle cls, py::handle base) {
  if (!PyType_Check(cls.ptr()) || !PyType_IsSubtype(reinterpret_cast<PyTypeObject *>(cls.ptr()),
                                                    reinterpret_cast<PyTypeObject *>(base.ptr())))
    throw py::type_error("internal: fast calls need a subclass of FastCallBase");
  auto *type = reinterpret_cast<PyTypeObject *>(cls.ptr());
  type->tp_vectorcall_offset = offsetof(FastCallBase, vectorcall);
  type->tp_flags |= Py_TPFLAGS_HAVE_VECTORCALL;
  PyType_Modified(type);
}

PyObject *fft_method(PyObject *self, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
  PyObject *values[6] = {nullptr, Py_None, Py_None, Py_False, Py_None, Py_False};
  bool plain = nargs >= 0 && nargs <= 6;
  if (plain) {
    for (Py_ssize_t i = 0; i < nargs; ++i) values[i] = args[i];
    const Py_ssize_t nk = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nk && plain; ++k) {
      PyObject *name = PyTuple_GET_ITEM(kwnames, k);
      int at = -1;
      for (int i = 0; i < 6 && at < 0; ++i)
        if (name == g_fft_method.names[i]) at = i;  // keywords of a call are interned
      if (at < nargs) plain = false;                // unknown, or given twice: the full path says which
      else values[at] = args[nargs + k];
    }
    plain = plain && values[0] != nullptr;
  }
  if (plain) {
    try {
      // The handle in place on FFT's instances; by name on anything else.
      py::object h;
      if (g_fast_call_base && PyObject_TypeCheck(self, g_fast_call_base))
        h = py::reinterpret_borrow<py::object>(reinterpret_cast<FastCallBase *>(self)->handle);
      else
        h = py::reinterpret_steal<py::object>(PyObject_GetAttr(self, g_fft_method.handle));
      if (!h) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_AttributeError, "_handle");
        throw py::error_already_set();
      }
      auto *core = static_cast<std::shared_ptr<FftCore> *>(PyCapsule_GetPointer(h.ptr(), kFftHandle));
      if (!core) throw py::error_already_set();
      py::object r = (*core)->call(self, values[0], values[1], values[2], values[3], values[4], values[5], 1);
      if (!r.is_none()) return r.release().ptr();
    } catch (...) {
      py::detail::translate_exception(std::current_exception());
      return nullptr;
    }
  }
  // The full path, with self in front of the arguments as they came.
  const Py_ssize_t nk = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  std::vector<PyObject *> all(static_cast<std::size_t>(nargs + nk + 1));
  all[0] = self;
  std::copy(args, args + nargs + nk, all.begin() + 1);
  return PyObject_Vectorcall(g_fft_method.impl, all.data(), static_cast<std::size_t>(nargs + 1), kwnames);
}

// The method descriptor for FFT.__call__, taking the text of `impl`.
py::object make_fft_method(py::handle cls, py::handle impl) {
  if (!PyType_Check(cls.ptr())) throw py::type_error("internal: FFT must be a class");
  static const char *const params[6] = {"x", "schedule", "nfft", "inverse", "threads", "words"};
  FftMethod &m = g_fft_method;
  if (!m.impl) {  // bound once, kept for the life of the process
    m.impl = impl.inc_ref().ptr();
    m.handle = PyUnicode_InternFromString("_handle");
    for (int i = 0; i < 6; ++i) m.names[i] = PyUnicode_InternFromString(params[i]);
    py::object doc = impl.attr("__doc__");
    m.doc = "__call__($self, /, x, schedule=None, nfft=None, inverse=False, threads=None, words=False)\n--\n\n" +
            (doc.is_none() ? std::string() : doc.cast<std::string>());
    m.def = {"__call__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fft_method)),
             METH_FASTCALL | METH_KEYWORDS, m.doc.c_str()};
  }
  PyObject *d = PyDescr_NewMethod(reinterpret_cast<PyTypeObject *>(cls.ptr()), &m.def);
  if (!d) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(d);
}

std::vector<std::string> names(const std::vector<std::string_view> &v) { return {v.begin(), v.end()}; }

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Extension module of zelcores; use the zelcores package instead.";

  // A setting the record cannot hold is a ValueError carrying the shared text.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const zel::SettingError &e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  py::class_<FftCore, std::shared_ptr<FftCore>>(m, "FftCore")
      .def(py::init<const py::iterable &>(), py::arg("settings"))
      .def_property_readonly("handle",
                             [](const std::shared_ptr<FftCore> &core) {
                               auto *held = new std::shared_ptr<FftCore>(core);
                               PyObject *c = PyCapsule_New(held, kFftHandle, [](PyObject *cap) {
                                 delete static_cast<std::shared_ptr<FftCore> *>(PyCapsule_GetPointer(cap, kFftHandle));
                               });
                               if (!c) {
                                 delete held;
                                 throw py::error_already_set();
                               }
                               return py::reinterpret_steal<py::object>(c);
                             })
      .def_property_readonly("generics", &FftCore::generics)
      .def_property_readonly("settings", &FftCore::settings)
      .def("points", &FftCore::points, py::arg("nfft"))
      .def("call", &FftCore::call, py::arg("fft"), py::arg("x"), py::arg("schedule"), py::arg("nfft"),
           py::arg("inverse"), py::arg("threads"), py::arg("words"), py::arg("stacklevel") = 2);

  py::class_<CordicCore>(m, "CordicCore")
      .def(py::init<const py::iterable &>(), py::arg("settings"))
      .def_property_readonly("config", &CordicCore::config)
      .def_property_readonly("settings", &CordicCore::settings)
      .def("run", &CordicCore::run, py::arg("inputs"), py::arg("threads"), py::arg("ndim"));
  m.add_object("fft_call", py::reinterpret_steal<py::object>(PyCFunction_NewEx(&fft_call_def, nullptr, m.ptr())));
  m.def("fft_method", &make_fft_method, py::arg("cls"), py::arg("impl"));
  if (!g_fast_call_base) {
    g_fast_call_base = reinterpret_cast<PyTypeObject *>(PyType_FromSpec(&fast_call_spec));
    if (!g_fast_call_base) throw py::error_already_set();
  }
  m.add_object("FastCallBase", py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject *>(g_fast_call_base)));
  m.def("enable_fast_calls", [](py::handle cls) { enable_fast_calls(cls, reinterpret_cast<PyObject *>(g_fast_call_base)); },
        py::arg("cls"));
  m.def("bind_fft_classes", &bind_fft_classes, py::arg("result"), py::arg("error"), py::arg("warning"));

  m.def("fft_setting_keys", [] { return names(zel::fft_setting_keys()); });
  m.def("fft_field_names", [] { return names(zel::fft_field_names()); });
  m.def("cordic_setting_keys", [] { return names(zel::cordic_setting_keys()); });
  m.def("cordic_field_names", [] { return names(zel::cordic_field_names()); });
  m.def(
      "cordic_signature",
      [](std::uint32_t function) {
        const auto &s = zel::cordic_signature(function);
        return py::make_tuple(names(s.inputs), names(s.outputs));
      },
      py::arg("function"));
  m.def("hardware_threads", [] { return workers_for(0); });
}
