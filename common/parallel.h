// Work split over threads for the layers: frames of an FFT batch, slices of a
// CORDIC block. Items are independent and their results go to their own
// places, so the outcome never depends on the number of threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace zel {

// Number of workers for `threads` (0: one per core), never more than `items`
// and never less than 1.
inline unsigned worker_count(unsigned threads, std::size_t items) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads, items)));
}

// Calls body(context, first, last) on contiguous ranges covering [0, items),
// each worker with its own context from make_context() (a model object, say).
// The calling thread is one of the workers. An exception from any worker is
// rethrown after every worker has finished: the one from the lowest range.
template <class MakeContext, class Body>
void parallel_ranges(std::size_t items, unsigned threads, MakeContext make_context, Body body) {
  const unsigned workers = worker_count(threads, items);
  if (items == 0) return;
  std::vector<std::exception_ptr> errors(workers);
  auto run = [&](unsigned w) {
    try {
      const std::size_t first = items * w / workers;
      const std::size_t last = items * (w + 1) / workers;
      if (first == last) return;
      auto context = make_context();
      body(context, first, last);
    } catch (...) {
      errors[w] = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(workers - 1);
  try {
    for (unsigned w = 1; w < workers; ++w) pool.emplace_back(run, w);
  } catch (...) {
    // No more threads: the workers already started finish, the rest run here.
    for (unsigned w = static_cast<unsigned>(pool.size()) + 1; w < workers; ++w) run(w);
  }
  run(0);
  for (auto &t : pool) t.join();
  for (auto &e : errors)
    if (e) std::rethrow_exception(e);
}

// As parallel_ranges, with the items handed out in blocks of `block` to
// whichever worker is free: a worker slowed down by other work on its core
// takes fewer blocks instead of holding up the others. Each worker calls
// body(context, first, last) for every block it takes; blocks go to workers
// in no fixed order, so items must be independent (each result in its own
// place). An exception ends its worker; the first worker's is rethrown.
template <class MakeContext, class Body>
void parallel_blocks(std::size_t items, unsigned threads, std::size_t block, MakeContext make_context, Body body) {
  if (items == 0) return;
  block = std::max<std::size_t>(1, block);
  const std::size_t blocks = (items + block - 1) / block;
  const unsigned workers = worker_count(threads, blocks);
  std::atomic<std::size_t> next{0};
  parallel_ranges(workers, workers, make_context, [&](auto &context, std::size_t, std::size_t) {
    for (std::size_t b = next++; b < blocks; b = next++)
      body(context, b * block, std::min(items, (b + 1) * block));
  });
}

}  // namespace zel
