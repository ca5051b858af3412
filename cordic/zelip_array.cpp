// Sample access for the model, through the same generic rules as the exports.
#include "zelip_array.h"

#include "zelip_array_generic.h"

namespace cordic::array {
namespace {

template <class Array>
std::optional<std::size_t> first_dimension_of(const Array *a) noexcept {
  if (a == nullptr || a->dim == nullptr || a->dim_size == 0) return std::nullopt;
  return a->dim[0];
}

}  // namespace

std::optional<std::size_t> first_dimension(const zelip_array_real *a) noexcept { return first_dimension_of(a); }
std::optional<std::size_t> first_dimension(const zelip_array_complex *a) noexcept { return first_dimension_of(a); }

std::size_t element_count(const zelip_array_real *a) noexcept { return a != nullptr ? a->data_size : 0; }
std::size_t element_count(const zelip_array_complex *a) noexcept { return a != nullptr ? a->data_size : 0; }

bool read_sample(const zelip_array_real *a, std::size_t k, zelip_real &value) {
  return get_element(a, &value, data_index(a, k)) == 0;
}

bool read_sample(const zelip_array_complex *a, std::size_t k, zelip_complex &value) {
  return get_element(a, &value, data_index(a, k)) == 0;
}

bool write_sample(zelip_array_real *a, std::size_t k, zelip_real value) {
  return set_element(a, &value, data_index(a, k)) == 0;
}

bool write_sample(zelip_array_complex *a, std::size_t k, const zelip_complex &value) {
  return set_element(a, &value, data_index(a, k)) == 0;
}

}  // namespace cordic::array
