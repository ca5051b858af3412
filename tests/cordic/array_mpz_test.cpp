// The GMP element arrays: every reserved integer is initialised exactly once
// and cleared exactly once (counted through a host table that forwards to the
// library's own), values are deep copies, and a failing init leaves no
// integer half-made.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "array_host_table.h"
#include "solvine_array.h"

using arraytest::HostTable;

namespace {

template <class Array>
std::vector<void *> element_addresses(const Array *a, std::size_t from, std::size_t to, std::size_t bytes) {
  std::vector<void *> v;
  for (std::size_t k = from; k < to; ++k)
    v.push_back(static_cast<unsigned char *>(static_cast<void *>(a->data)) + k * bytes);
  return v;
}

const zelip_array_ops *mpz_library_table() {
  zelip_array_mpz *a = zelip_cordic_v6_0_zelip_array_mpz_create();
  const zelip_array_ops *ops = a->ops;
  zelip_cordic_v6_0_zelip_array_mpz_destroy(a);
  return ops;
}

const zelip_array_ops *mpz_complex_library_table() {
  zelip_array_mpz_complex *a = zelip_cordic_v6_0_zelip_array_mpz_complex_create();
  const zelip_array_ops *ops = a->ops;
  zelip_cordic_v6_0_zelip_array_mpz_complex_destroy(a);
  return ops;
}

TEST(ArrayMpz, EveryReservedIntegerInitialisedAndClearedOnce) {
  HostTable host(mpz_library_table());
  zelip_array_mpz *a = zelip_cordic_v6_0_zelip_array_mpz_create_ex(&host.ops);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_reserve_data(a, 4), 0);
  EXPECT_EQ(host.inited, element_addresses(a, 0, 4, 16));
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_reserve_data(a, 10), 0);
  ASSERT_EQ(host.inited.size(), 10u);  // only the six new ones, in increasing order
  EXPECT_EQ(std::vector<void *>(host.inited.begin() + 4, host.inited.end()), element_addresses(a, 4, 10, 16));
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_reserve_data(a, 10), 0);
  EXPECT_EQ(host.inited.size(), 10u);

  // The reserved integers are usable zeros, even beyond data_size.
  a->data_size = 10;
  mpz_t out;
  mpz_init_set_ui(out, 77);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_get_element(a, ZELIP_AS_MPZ(out), 9), 0);
  EXPECT_EQ(mpz_cmp_ui(out, 0), 0);
  EXPECT_EQ(mpz_cmp_ui(ZELIP_MPZ_AT(a, 9), 0), 0);
  mpz_clear(out);

  a->data_size = 3;  // clearing covers the capacity, not the valid count
  const std::vector<void *> all = element_addresses(a, 0, 10, 16);
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_mpz_destroy(a), nullptr);
  EXPECT_EQ(host.cleared, all);
}

TEST(ArrayMpz, ComplexElementsHoldTwoIntegers) {
  HostTable host(mpz_complex_library_table());
  zelip_array_mpz_complex *a = zelip_cordic_v6_0_zelip_array_mpz_complex_create_ex(&host.ops);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_complex_reserve_data(a, 5), 0);
  EXPECT_EQ(host.inited, element_addresses(a, 0, 5, 32));
  a->data_size = 5;

  mpz_t pair[2], re;
  mpz_init_set_str(re, "-123456789012345678901234567890", 10);
  mpz_init_set(pair[0], re);
  mpz_init_set_ui(pair[1], 42);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_complex_set_element(a, ZELIP_AS_MPZ_COMPLEX(pair), 4), 0);
  EXPECT_EQ(mpz_cmp(ZELIP_MPZ_RE_AT(a, 4), re), 0);
  EXPECT_EQ(mpz_cmp_ui(ZELIP_MPZ_IM_AT(a, 4), 42), 0);
  EXPECT_EQ(mpz_cmp_ui(ZELIP_MPZ_RE_AT(a, 3), 0), 0);
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_mpz_complex_set_element(a, ZELIP_AS_MPZ_COMPLEX(pair), 5), 1);

  mpz_set_ui(pair[0], 0);
  mpz_set_ui(pair[1], 0);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_complex_get_element(a, ZELIP_AS_MPZ_COMPLEX(pair), 4), 0);
  EXPECT_EQ(mpz_cmp(pair[0], re), 0);
  EXPECT_EQ(mpz_cmp_ui(pair[1], 42), 0);
  mpz_clears(pair[0], pair[1], re, nullptr);

  // The library table's swap exchanges both halves.
  a->ops->swap(a->ops, ZELIP_MPZ_RE_AT(a, 0), ZELIP_MPZ_RE_AT(a, 4));
  EXPECT_EQ(mpz_cmp_ui(ZELIP_MPZ_IM_AT(a, 0), 42), 0);
  EXPECT_EQ(mpz_cmp_ui(ZELIP_MPZ_IM_AT(a, 4), 0), 0);

  const std::vector<void *> all = element_addresses(a, 0, 5, 32);
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_mpz_complex_destroy(a), nullptr);
  EXPECT_EQ(host.cleared, all);
}

// An init that throws part-way fails the reserve; the integers it had already
// made are cleared, so the capacity stays the old one and nothing leaks.
TEST(ArrayMpz, FailedInitUndoesThePartialReserve) {
  HostTable host(mpz_library_table());
  zelip_array_mpz *a = zelip_cordic_v6_0_zelip_array_mpz_create_ex(&host.ops);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_reserve_data(a, 2), 0);
  host.throw_on_init = 5;  // the fourth init of the next reserve
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_mpz_reserve_data(a, 8), 1);
  EXPECT_EQ(a->data_capacity, 2u);
  EXPECT_EQ(host.cleared, element_addresses(a, 2, 5, 16));

  host.throw_on_init = static_cast<std::size_t>(-1);
  host.inited.clear();
  host.cleared.clear();
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_mpz_reserve_data(a, 8), 0);
  EXPECT_EQ(host.inited, element_addresses(a, 2, 8, 16));
  const std::vector<void *> all = element_addresses(a, 0, 8, 16);
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_mpz_destroy(a), nullptr);
  EXPECT_EQ(host.cleared, all);
}

}  // namespace
