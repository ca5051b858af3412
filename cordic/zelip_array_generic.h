// The rules of the array containers, written once for all seven record types
// (they differ only in element type, element size and library table). These
// templates may throw whatever a host's table slot throws; the exported
// functions catch it.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <new>

#include "solvine_array.h"
#include "zelip_array_tables.h"

namespace cordic::array {

// Address of element k (no bound check): the GMP element types are opaque, so
// index by bytes.
template <class Array>
void *element_at(const Array &a, std::size_t k) noexcept {
  return static_cast<unsigned char *>(static_cast<void *>(a.data)) + k * element_bytes<Array>();
}

// A new empty array allocated through, and using, the table ops. A table
// without realloc could never allocate anything, so it is refused like none.
template <class Array>
Array *create(const zelip_array_ops *ops) {
  if (ops == nullptr || ops->realloc == nullptr) return nullptr;
  void *block = ops->realloc(ops, nullptr, sizeof(Array));
  if (block == nullptr) return nullptr;
  Array *a = ::new (block) Array{};  // every field zero
  a->ops = ops;
  return a;
}

// Grows one of an array's two blocks (elements or dimension lengths) to n
// entries of entry_bytes each. The capacity test comes first, so a view whose
// capacity suffices still succeeds; a failed realloc leaves the array as it was.
template <class Array, class Entry>
zelip_status reserve_block(Array *a, Entry *&block, std::size_t &capacity, std::size_t n, std::size_t entry_bytes,
                           bool init_entries) {
  if (capacity >= n) return 0;  // storage never shrinks
  if (a->owner != 0) return 1;  // foreign storage may not be moved
  const zelip_array_ops *ops = a->ops;
  if (ops == nullptr || ops->realloc == nullptr) return 1;
  // A count whose byte size wraps would allocate a small block and then write
  // far beyond it (init, set): refuse it.
  if (n > std::numeric_limits<std::size_t>::max() / entry_bytes) return 1;

  void *grown = ops->realloc(ops, block, n * entry_bytes);
  if (grown == nullptr) return 1;
  block = static_cast<Entry *>(grown);
  if (init_entries && ops->init != nullptr) {
    unsigned char *bytes = static_cast<unsigned char *>(grown);
    std::size_t k = capacity;
    try {
      for (; k < n; ++k) ops->init(ops, bytes + k * entry_bytes);
    } catch (...) {
      // Undo the elements prepared so far so that every element below the
      // unchanged capacity, and no other, stays initialised.
      if (ops->clear != nullptr)
        for (std::size_t j = capacity; j < k; ++j) ops->clear(ops, bytes + j * entry_bytes);
      throw;
    }
  }
  capacity = n;
  return 0;
}

template <class Array>
zelip_status reserve_data(Array *a, std::size_t n) {
  if (a == nullptr) return 1;
  return reserve_block(a, a->data, a->data_capacity, n, element_bytes<Array>(), true);
}

template <class Array>
zelip_status reserve_dim(Array *a, std::size_t n) {
  if (a == nullptr) return 1;
  return reserve_block(a, a->dim, a->dim_capacity, n, sizeof(std::size_t), false);
}

// Releases an array: nullptr when done, the array itself when it is a view or
// has no table to release it with.
template <class Array>
Array *destroy(Array *a) {
  if (a == nullptr) return nullptr;
  const zelip_array_ops *ops = a->ops;
  if (a->owner != 0 || ops == nullptr || ops->free == nullptr) return a;
  if (ops->clear != nullptr && a->data != nullptr)
    for (std::size_t k = 0; k < a->data_capacity; ++k) ops->clear(ops, element_at(*a, k));
  ops->free(ops, a->data);
  ops->free(ops, a->dim);
  ops->free(ops, a);
  return nullptr;
}

// Column-major linear index, first subscript fastest, over the first
// dim_size dimensions: acc = i[d] + dim[d] * acc from the last subscript in
// use down to the first. Unchecked, and wraps as unsigned.
template <class Array>
std::size_t sub2ind(const Array *a, std::initializer_list<std::size_t> subscripts) noexcept {
  if (a == nullptr || a->dim == nullptr) return 0;
  const std::size_t *i = subscripts.begin();
  const std::size_t last = subscripts.size() - 1;
  const std::size_t in_use = a->dim_size;
  std::size_t acc = in_use > last ? i[last] : 0;
  for (std::size_t d = last; d-- > 0;)
    if (in_use > d) acc = i[d] + a->dim[d] * acc;
  return acc;
}

// Index used by set_data/get_data: as given on an array with dimensions,
// element 0 on one without.
template <class Array>
std::size_t data_index(const Array *a, std::size_t k) noexcept {
  return sub2ind(a, {k});
}

// Whether element k can be copied to or from element.
template <class Array>
bool accessible(const Array *a, const void *element, std::size_t k) noexcept {
  return a != nullptr && element != nullptr && a->ops != nullptr && a->ops->copy != nullptr && a->data != nullptr &&
         k < a->data_size;
}

template <class Array>
zelip_status set_element(Array *a, const void *source, std::size_t k) {
  if (!accessible(a, source, k)) return 1;
  a->ops->copy(a->ops, element_at(*a, k), source);
  return 0;
}

template <class Array>
zelip_status get_element(const Array *a, void *destination, std::size_t k) {
  if (!accessible(a, destination, k)) return 1;
  a->ops->copy(a->ops, destination, element_at(*a, k));
  return 0;
}

}  // namespace cordic::array
