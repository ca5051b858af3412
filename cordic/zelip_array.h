// What the CORDIC model needs from the host's sample arrays: the length of
// the first dimension (checked against the block's sample count) and sample
// k read or written by the rules of the exported get_data/set_data, so the
// host's own element operations apply. Slots of a host table may throw; the
// model's processing entry catches everything.
#pragma once

#include <cstddef>
#include <optional>

#include "solvine_array.h"

namespace cordic::array {

// dim[0], or nothing for a null array or one without dimensions (null dim or
// dim_size 0).
std::optional<std::size_t> first_dimension(const zelip_array_real *a) noexcept;
std::optional<std::size_t> first_dimension(const zelip_array_complex *a) noexcept;

// Elements the host declared valid (data_size); 0 for a null array.
std::size_t element_count(const zelip_array_real *a) noexcept;
std::size_t element_count(const zelip_array_complex *a) noexcept;

// Sample k into value; false (value untouched) for a null array or when the
// element does not exist (index not below data_size).
bool read_sample(const zelip_array_real *a, std::size_t k, zelip_real &value);
bool read_sample(const zelip_array_complex *a, std::size_t k, zelip_complex &value);

// value into sample k; false, nothing written, for a null array or an index
// not below data_size. The model skips such writes silently.
bool write_sample(zelip_array_real *a, std::size_t k, zelip_real value);
bool write_sample(zelip_array_complex *a, std::size_t k, const zelip_complex &value);

// Elements 0 to count - 1 of an array as plain memory, for block processing.
// Elements at or beyond `count` (the smaller of the block length and
// data_size) do not exist: reads fail and writes are skipped. A null array, or
// one without storage or copy operation, has none.
template <class Element>
struct ElementSpan {
  Element *data = nullptr;
  std::size_t count = 0;
};

// The span of an array whose sample k is storage element k and whose copies
// are plain assignments (the library's own element operations); nothing when
// each access must go through the rules of read_sample/write_sample (no
// dimensions, or a host's own copy operation).
std::optional<ElementSpan<zelip_real>> plain_elements(const zelip_array_real *a, std::size_t count) noexcept;
std::optional<ElementSpan<zelip_complex>> plain_elements(const zelip_array_complex *a, std::size_t count) noexcept;

}  // namespace cordic::array
