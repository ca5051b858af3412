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

template <class Array, class Element>
std::optional<ElementSpan<Element>> plain_elements_of(const Array *a, std::size_t count) noexcept {
  if (a == nullptr) return ElementSpan<Element>{};
  // Without dimensions every index maps to element 0.
  if (a->dim == nullptr || a->dim_size == 0) return std::nullopt;
  if (a->ops == nullptr || a->ops->copy == nullptr || a->data == nullptr) return ElementSpan<Element>{};
  // A host's copy operation may do more than copy; it is called per element.
  if (a->ops->copy != library_ops<Array>().copy) return std::nullopt;
  return ElementSpan<Element>{a->data, count < a->data_size ? count : a->data_size};
}

}  // namespace

std::optional<ElementSpan<zelip_real>> plain_elements(const zelip_array_real *a, std::size_t count) noexcept {
  return plain_elements_of<zelip_array_real, zelip_real>(a, count);
}
std::optional<ElementSpan<zelip_complex>> plain_elements(const zelip_array_complex *a, std::size_t count) noexcept {
  return plain_elements_of<zelip_array_complex, zelip_complex>(a, count);
}

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
