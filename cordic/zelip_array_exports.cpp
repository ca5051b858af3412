// The exported array functions: for each of the seven element types the same
// operations, each a thin guard around the generic rules. No exception (from
// a host table's slot, say) may leave the library: it becomes the operation's
// failure result.
#include <cstddef>

#include "solvine_array.h"
#include "zelip_array_generic.h"
#include "zelip_array_tables.h"

using namespace cordic::array;

namespace {

template <class Array>
Array *guarded_create(const zelip_array_ops *ops) noexcept {
  try {
    return create<Array>(ops);
  } catch (...) {
    return nullptr;
  }
}

template <class Array>
zelip_status guarded_reserve_data(Array *array, std::size_t count) noexcept {
  try {
    return reserve_data(array, count);
  } catch (...) {
    return 1;
  }
}

template <class Array>
zelip_status guarded_reserve_dim(Array *array, std::size_t count) noexcept {
  try {
    return reserve_dim(array, count);
  } catch (...) {
    return 1;
  }
}

// An array whose release failed part-way is handed back: the host still holds it.
template <class Array>
Array *guarded_destroy(Array *array) noexcept {
  try {
    return destroy(array);
  } catch (...) {
    return array;
  }
}

template <class Array>
zelip_status guarded_set(Array *array, const void *source, std::size_t index) noexcept {
  try {
    return set_element(array, source, index);
  } catch (...) {
    return 1;
  }
}

template <class Array>
zelip_status guarded_get(const Array *array, void *destination, std::size_t index) noexcept {
  try {
    return get_element(array, destination, index);
  } catch (...) {
    return 1;
  }
}

}  // namespace

// Every element type exports the same eleven operations under one naming
// pattern; the macro writes them out for each type (tests/abi holds the full
// list of exported names).
#define ZELIP_ARRAY_EXPORTS(T, Element)                                                                       \
  SOLVINE_API zelip_array_##T *zelip_cordic_v6_0_zelip_array_##T##_create(void) {                            \
    return guarded_create<zelip_array_##T>(&library_ops<zelip_array_##T>());                                 \
  }                                                                                                          \
  SOLVINE_API zelip_array_##T *zelip_cordic_v6_0_zelip_array_##T##_create_ex(const zelip_array_ops *ops) {   \
    return guarded_create<zelip_array_##T>(ops);                                                             \
  }                                                                                                          \
  SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_##T##_reserve_data(zelip_array_##T *array,          \
                                                                            size_t count) {                  \
    return guarded_reserve_data(array, count);                                                               \
  }                                                                                                          \
  SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_##T##_reserve_dim(zelip_array_##T *array,           \
                                                                           size_t count) {                   \
    return guarded_reserve_dim(array, count);                                                                \
  }                                                                                                          \
  SOLVINE_API zelip_array_##T *zelip_cordic_v6_0_zelip_array_##T##_destroy(zelip_array_##T *array) {         \
    return guarded_destroy(array);                                                                           \
  }                                                                                                          \
  SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_##T##_sub2ind_1d(const zelip_array_##T *array, size_t i0) { \
    return sub2ind(array, {i0});                                                                             \
  }                                                                                                          \
  SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_##T##_sub2ind_2d(const zelip_array_##T *array, size_t i0, \
                                                                    size_t i1) {                             \
    return sub2ind(array, {i0, i1});                                                                         \
  }                                                                                                          \
  SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_##T##_sub2ind_3d(const zelip_array_##T *array, size_t i0, \
                                                                    size_t i1, size_t i2) {                  \
    return sub2ind(array, {i0, i1, i2});                                                                     \
  }                                                                                                          \
  SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_##T##_sub2ind_4d(const zelip_array_##T *array, size_t i0, \
                                                                    size_t i1, size_t i2, size_t i3) {       \
    return sub2ind(array, {i0, i1, i2, i3});                                                                 \
  }                                                                                                          \
  SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_##T##_set_element(zelip_array_##T *array,           \
                                                                           const Element *source,            \
                                                                           size_t index) {                   \
    return guarded_set(array, source, index);                                                                \
  }                                                                                                          \
  SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_##T##_get_element(const zelip_array_##T *array,     \
                                                                           Element *destination,             \
                                                                           size_t index) {                   \
    return guarded_get(array, destination, index);                                                           \
  }

extern "C" {

ZELIP_ARRAY_EXPORTS(bit, uint8_t)
ZELIP_ARRAY_EXPORTS(real, zelip_real)
ZELIP_ARRAY_EXPORTS(complex, zelip_complex)
ZELIP_ARRAY_EXPORTS(uint, uint32_t)
ZELIP_ARRAY_EXPORTS(uint32, uint32_t)
ZELIP_ARRAY_EXPORTS(mpz, zelip_mpz)
ZELIP_ARRAY_EXPORTS(mpz_complex, zelip_mpz_complex)

// The real and complex arrays also read and write samples by data index.
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_set_data(zelip_array_real *array, zelip_real value,
                                                                     size_t index) {
  return guarded_set(array, &value, data_index(array, index));
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_get_data(const zelip_array_real *array,
                                                                     zelip_real *destination, size_t index) {
  return guarded_get(array, destination, data_index(array, index));
}

SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_set_data(zelip_array_complex *array,
                                                                        const zelip_complex *value, size_t index) {
  return guarded_set(array, value, data_index(array, index));
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_get_data(const zelip_array_complex *array,
                                                                        zelip_complex *destination, size_t index) {
  return guarded_get(array, destination, data_index(array, index));
}

}  // extern "C"
