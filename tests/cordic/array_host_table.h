// A host operations table for the array tests: forwards every slot to another
// table (normally the library's own) and records what the library asked of it.
// The table is the first member, so the slots find the recorder again from the
// table pointer they receive, as a C host would.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "solvine_array.h"

namespace arraytest {

struct HostTable {
  zelip_array_ops ops;  // must stay first
  const zelip_array_ops *inner;

  std::vector<std::size_t> realloc_bytes;  // every realloc request, in order
  std::vector<void *> freed;               // every free, in order (null blocks too)
  std::vector<void *> inited, cleared, copied_to;
  bool fail_realloc = false;
  std::size_t throw_on_init = static_cast<std::size_t>(-1);  // init call number that throws
  bool throw_on_copy = false;

  explicit HostTable(const zelip_array_ops *forward_to) : ops{}, inner(forward_to) {
    ops.realloc = &HostTable::do_realloc;
    ops.free = &HostTable::do_free;
    if (inner->init) ops.init = &HostTable::do_init;
    ops.copy = &HostTable::do_copy;
    ops.swap = inner->swap;
    if (inner->clear) ops.clear = &HostTable::do_clear;
  }
  HostTable(const HostTable &) = delete;
  HostTable &operator=(const HostTable &) = delete;

  static HostTable &self(const zelip_array_ops *t) {
    return *reinterpret_cast<HostTable *>(const_cast<zelip_array_ops *>(t));
  }
  static void *do_realloc(const zelip_array_ops *t, void *block, std::size_t bytes) {
    HostTable &h = self(t);
    h.realloc_bytes.push_back(bytes);
    return h.fail_realloc ? nullptr : h.inner->realloc(h.inner, block, bytes);
  }
  static void do_free(const zelip_array_ops *t, void *block) {
    HostTable &h = self(t);
    h.freed.push_back(block);
    h.inner->free(h.inner, block);
  }
  static void do_init(const zelip_array_ops *t, void *element) {
    HostTable &h = self(t);
    if (h.inited.size() == h.throw_on_init) throw std::runtime_error("host init failed");
    h.inited.push_back(element);
    h.inner->init(h.inner, element);
  }
  static void do_copy(const zelip_array_ops *t, void *destination, const void *source) {
    HostTable &h = self(t);
    if (h.throw_on_copy) throw std::runtime_error("host copy failed");
    h.copied_to.push_back(destination);
    h.inner->copy(h.inner, destination, source);
  }
  static void do_clear(const zelip_array_ops *t, void *element) {
    HostTable &h = self(t);
    h.cleared.push_back(element);
    h.inner->clear(h.inner, element);
  }
};
// The slots turn the table pointer back into the recorder.
static_assert(std::is_standard_layout_v<HostTable>);

}  // namespace arraytest
