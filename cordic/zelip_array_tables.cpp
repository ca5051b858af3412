// The library's seven operations tables. They are constant: every slot gets
// the table as its first argument but none of the library's slots needs it.
#include "zelip_array_tables.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace cordic::array {

// Hosts size mpz storage by the documented element sizes (16 and 32 bytes).
static_assert(sizeof(void *) != 8 || sizeof(__mpz_struct) == 16,
              "mpz element size differs from the documented 16 bytes");

namespace {

void *heap_realloc(const zelip_array_ops *, void *block, std::size_t bytes) { return std::realloc(block, bytes); }

void heap_free(const zelip_array_ops *, void *block) { std::free(block); }

// Plain values: assignment and exchange.
template <class T>
void copy_value(const zelip_array_ops *, void *destination, const void *source) {
  *static_cast<T *>(destination) = *static_cast<const T *>(source);
}

template <class T>
void swap_values(const zelip_array_ops *, void *a, void *b) {
  std::swap(*static_cast<T *>(a), *static_cast<T *>(b));
}

template <class T>
constexpr zelip_array_ops plain_ops{heap_realloc, heap_free, nullptr, copy_value<T>, swap_values<T>, nullptr, nullptr};

// GMP integers: an element is `parts` consecutive mpz records (1 for mpz,
// 2 for mpz_complex, re then im), each handled on its own.
template <int parts>
void mpz_init_parts(const zelip_array_ops *, void *element) {
  for (int i = 0; i < parts; ++i) mpz_init(static_cast<mpz_ptr>(element) + i);
}

template <int parts>
void mpz_copy_parts(const zelip_array_ops *, void *destination, const void *source) {
  for (int i = 0; i < parts; ++i) mpz_set(static_cast<mpz_ptr>(destination) + i, static_cast<mpz_srcptr>(source) + i);
}

template <int parts>
void mpz_swap_parts(const zelip_array_ops *, void *a, void *b) {
  for (int i = 0; i < parts; ++i) mpz_swap(static_cast<mpz_ptr>(a) + i, static_cast<mpz_ptr>(b) + i);
}

template <int parts>
void mpz_clear_parts(const zelip_array_ops *, void *element) {
  for (int i = 0; i < parts; ++i) mpz_clear(static_cast<mpz_ptr>(element) + i);
}

template <int parts>
constexpr zelip_array_ops mpz_ops{
    heap_realloc,           heap_free, mpz_init_parts<parts>, mpz_copy_parts<parts>, mpz_swap_parts<parts>,
    mpz_clear_parts<parts>, nullptr};

}  // namespace

template <>
const zelip_array_ops &library_ops<zelip_array_bit>() noexcept {
  return plain_ops<uint8_t>;
}
template <>
const zelip_array_ops &library_ops<zelip_array_real>() noexcept {
  return plain_ops<zelip_real>;
}
template <>
const zelip_array_ops &library_ops<zelip_array_complex>() noexcept {
  return plain_ops<zelip_complex>;
}
// uint and uint32 are distinct array types with the same element and table.
template <>
const zelip_array_ops &library_ops<zelip_array_uint>() noexcept {
  return plain_ops<uint32_t>;
}
template <>
const zelip_array_ops &library_ops<zelip_array_uint32>() noexcept {
  return plain_ops<uint32_t>;
}
template <>
const zelip_array_ops &library_ops<zelip_array_mpz>() noexcept {
  return mpz_ops<1>;
}
template <>
const zelip_array_ops &library_ops<zelip_array_mpz_complex>() noexcept {
  return mpz_ops<2>;
}

}  // namespace cordic::array
