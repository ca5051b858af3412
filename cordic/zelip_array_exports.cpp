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

extern "C" {

// zelip_array_bit
SOLVINE_API zelip_array_bit *zelip_cordic_v6_0_zelip_array_bit_create(void) {
  return guarded_create<zelip_array_bit>(&library_ops<zelip_array_bit>());
}
SOLVINE_API zelip_array_bit *zelip_cordic_v6_0_zelip_array_bit_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_bit>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_reserve_data(zelip_array_bit *array, size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_reserve_dim(zelip_array_bit *array, size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_bit *zelip_cordic_v6_0_zelip_array_bit_destroy(zelip_array_bit *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_1d(const zelip_array_bit *array, size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_2d(const zelip_array_bit *array, size_t i0, size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_3d(const zelip_array_bit *array, size_t i0, size_t i1,
                                                                size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_4d(const zelip_array_bit *array, size_t i0, size_t i1,
                                                                size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_set_element(zelip_array_bit *array, const uint8_t *source,
                                                                       size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_get_element(const zelip_array_bit *array,
                                                                       uint8_t *destination, size_t index) {
  return guarded_get(array, destination, index);
}

// zelip_array_real
SOLVINE_API zelip_array_real *zelip_cordic_v6_0_zelip_array_real_create(void) {
  return guarded_create<zelip_array_real>(&library_ops<zelip_array_real>());
}
SOLVINE_API zelip_array_real *zelip_cordic_v6_0_zelip_array_real_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_real>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_reserve_data(zelip_array_real *array, size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_reserve_dim(zelip_array_real *array, size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_real *zelip_cordic_v6_0_zelip_array_real_destroy(zelip_array_real *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_1d(const zelip_array_real *array, size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_2d(const zelip_array_real *array, size_t i0, size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_3d(const zelip_array_real *array, size_t i0, size_t i1,
                                                                 size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_4d(const zelip_array_real *array, size_t i0, size_t i1,
                                                                 size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_set_element(zelip_array_real *array,
                                                                        const zelip_real *source, size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_get_element(const zelip_array_real *array,
                                                                        zelip_real *destination, size_t index) {
  return guarded_get(array, destination, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_set_data(zelip_array_real *array, zelip_real value,
                                                                     size_t index) {
  return guarded_set(array, &value, data_index(array, index));
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_get_data(const zelip_array_real *array,
                                                                     zelip_real *destination, size_t index) {
  return guarded_get(array, destination, data_index(array, index));
}

// zelip_array_complex
SOLVINE_API zelip_array_complex *zelip_cordic_v6_0_zelip_array_complex_create(void) {
  return guarded_create<zelip_array_complex>(&library_ops<zelip_array_complex>());
}
SOLVINE_API zelip_array_complex *zelip_cordic_v6_0_zelip_array_complex_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_complex>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_reserve_data(zelip_array_complex *array, size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_reserve_dim(zelip_array_complex *array, size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_complex *zelip_cordic_v6_0_zelip_array_complex_destroy(zelip_array_complex *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_1d(const zelip_array_complex *array, size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_2d(const zelip_array_complex *array, size_t i0,
                                                                    size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_3d(const zelip_array_complex *array, size_t i0,
                                                                    size_t i1, size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_4d(const zelip_array_complex *array, size_t i0,
                                                                    size_t i1, size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_set_element(zelip_array_complex *array,
                                                                           const zelip_complex *source, size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_get_element(const zelip_array_complex *array,
                                                                           zelip_complex *destination, size_t index) {
  return guarded_get(array, destination, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_set_data(zelip_array_complex *array,
                                                                        const zelip_complex *value, size_t index) {
  return guarded_set(array, value, data_index(array, index));
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_get_data(const zelip_array_complex *array,
                                                                        zelip_complex *destination, size_t index) {
  return guarded_get(array, destination, data_index(array, index));
}

// zelip_array_uint
SOLVINE_API zelip_array_uint *zelip_cordic_v6_0_zelip_array_uint_create(void) {
  return guarded_create<zelip_array_uint>(&library_ops<zelip_array_uint>());
}
SOLVINE_API zelip_array_uint *zelip_cordic_v6_0_zelip_array_uint_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_uint>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_reserve_data(zelip_array_uint *array, size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_reserve_dim(zelip_array_uint *array, size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_uint *zelip_cordic_v6_0_zelip_array_uint_destroy(zelip_array_uint *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_1d(const zelip_array_uint *array, size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_2d(const zelip_array_uint *array, size_t i0, size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_3d(const zelip_array_uint *array, size_t i0, size_t i1,
                                                                 size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_4d(const zelip_array_uint *array, size_t i0, size_t i1,
                                                                 size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_set_element(zelip_array_uint *array, const uint32_t *source,
                                                                        size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_get_element(const zelip_array_uint *array,
                                                                        uint32_t *destination, size_t index) {
  return guarded_get(array, destination, index);
}

// zelip_array_uint32
SOLVINE_API zelip_array_uint32 *zelip_cordic_v6_0_zelip_array_uint32_create(void) {
  return guarded_create<zelip_array_uint32>(&library_ops<zelip_array_uint32>());
}
SOLVINE_API zelip_array_uint32 *zelip_cordic_v6_0_zelip_array_uint32_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_uint32>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_reserve_data(zelip_array_uint32 *array, size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_reserve_dim(zelip_array_uint32 *array, size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_uint32 *zelip_cordic_v6_0_zelip_array_uint32_destroy(zelip_array_uint32 *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_1d(const zelip_array_uint32 *array, size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_2d(const zelip_array_uint32 *array, size_t i0,
                                                                   size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_3d(const zelip_array_uint32 *array, size_t i0,
                                                                   size_t i1, size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_4d(const zelip_array_uint32 *array, size_t i0,
                                                                   size_t i1, size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_set_element(zelip_array_uint32 *array,
                                                                          const uint32_t *source, size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_get_element(const zelip_array_uint32 *array,
                                                                          uint32_t *destination, size_t index) {
  return guarded_get(array, destination, index);
}

// zelip_array_mpz
SOLVINE_API zelip_array_mpz *zelip_cordic_v6_0_zelip_array_mpz_create(void) {
  return guarded_create<zelip_array_mpz>(&library_ops<zelip_array_mpz>());
}
SOLVINE_API zelip_array_mpz *zelip_cordic_v6_0_zelip_array_mpz_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_mpz>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_reserve_data(zelip_array_mpz *array, size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_reserve_dim(zelip_array_mpz *array, size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_mpz *zelip_cordic_v6_0_zelip_array_mpz_destroy(zelip_array_mpz *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_1d(const zelip_array_mpz *array, size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_2d(const zelip_array_mpz *array, size_t i0, size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_3d(const zelip_array_mpz *array, size_t i0, size_t i1,
                                                                size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_4d(const zelip_array_mpz *array, size_t i0, size_t i1,
                                                                size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_set_element(zelip_array_mpz *array, const zelip_mpz *source,
                                                                       size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_get_element(const zelip_array_mpz *array,
                                                                       zelip_mpz *destination, size_t index) {
  return guarded_get(array, destination, index);
}

// zelip_array_mpz_complex
SOLVINE_API zelip_array_mpz_complex *zelip_cordic_v6_0_zelip_array_mpz_complex_create(void) {
  return guarded_create<zelip_array_mpz_complex>(&library_ops<zelip_array_mpz_complex>());
}
SOLVINE_API zelip_array_mpz_complex *zelip_cordic_v6_0_zelip_array_mpz_complex_create_ex(const zelip_array_ops *ops) {
  return guarded_create<zelip_array_mpz_complex>(ops);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_reserve_data(zelip_array_mpz_complex *array,
                                                                                size_t count) {
  return guarded_reserve_data(array, count);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_reserve_dim(zelip_array_mpz_complex *array,
                                                                               size_t count) {
  return guarded_reserve_dim(array, count);
}
SOLVINE_API zelip_array_mpz_complex *zelip_cordic_v6_0_zelip_array_mpz_complex_destroy(zelip_array_mpz_complex *array) {
  return guarded_destroy(array);
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_1d(const zelip_array_mpz_complex *array,
                                                                        size_t i0) {
  return sub2ind(array, {i0});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_2d(const zelip_array_mpz_complex *array, size_t i0,
                                                                        size_t i1) {
  return sub2ind(array, {i0, i1});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_3d(const zelip_array_mpz_complex *array, size_t i0,
                                                                        size_t i1, size_t i2) {
  return sub2ind(array, {i0, i1, i2});
}
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_4d(const zelip_array_mpz_complex *array, size_t i0,
                                                                        size_t i1, size_t i2, size_t i3) {
  return sub2ind(array, {i0, i1, i2, i3});
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_set_element(zelip_array_mpz_complex *array,
                                                                               const zelip_mpz_complex *source,
                                                                               size_t index) {
  return guarded_set(array, source, index);
}
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_get_element(const zelip_array_mpz_complex *array,
                                                                               zelip_mpz_complex *destination,
                                                                               size_t index) {
  return guarded_get(array, destination, index);
}
}  // extern "C"
