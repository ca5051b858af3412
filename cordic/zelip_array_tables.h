// The library's own element operations for the seven array types, and the
// byte size of one element of each. Allocation is the standard heap's
// realloc/free; the GMP types initialise, assign, swap and clear their
// integers through GMP.
#pragma once

#include <gmp.h>

#include <cstddef>
#include <type_traits>
#include <utility>

#include "solvine_array.h"

namespace cordic::array {

// The operations table create() stores in a new array of this record type.
template <class Array>
const zelip_array_ops &library_ops() noexcept;

template <>
const zelip_array_ops &library_ops<zelip_array_bit>() noexcept;
template <>
const zelip_array_ops &library_ops<zelip_array_real>() noexcept;
template <>
const zelip_array_ops &library_ops<zelip_array_complex>() noexcept;
template <>
const zelip_array_ops &library_ops<zelip_array_uint>() noexcept;
template <>
const zelip_array_ops &library_ops<zelip_array_uint32>() noexcept;
template <>
const zelip_array_ops &library_ops<zelip_array_mpz>() noexcept;
template <>
const zelip_array_ops &library_ops<zelip_array_mpz_complex>() noexcept;

// Bytes of one element. The GMP elements are opaque in the public header, so
// their size comes from GMP's own integer record.
template <class Array>
constexpr std::size_t element_bytes() noexcept {
  if constexpr (std::is_same_v<Array, zelip_array_mpz>)
    return sizeof(__mpz_struct);
  else if constexpr (std::is_same_v<Array, zelip_array_mpz_complex>)
    return 2 * sizeof(__mpz_struct);
  else
    return sizeof(*std::declval<Array &>().data);
}

}  // namespace cordic::array
