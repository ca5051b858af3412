// The array containers through the exported C interface: lifecycle, reserve
// rules (views, failures, overflow), column-major indexing, element bounds and
// the real/complex data calls; every plain element type once through its own
// exports; the model's sample access.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "array_host_table.h"
#include "solvine_array.h"
#include "zelip_array.h"

using arraytest::HostTable;

namespace {

constexpr std::size_t kMaxSize = std::numeric_limits<std::size_t>::max();

// Short names for the real-array exports most tests use.
constexpr auto create = zelip_cordic_v6_0_zelip_array_real_create;
constexpr auto create_ex = zelip_cordic_v6_0_zelip_array_real_create_ex;
constexpr auto reserve_data = zelip_cordic_v6_0_zelip_array_real_reserve_data;
constexpr auto reserve_dim = zelip_cordic_v6_0_zelip_array_real_reserve_dim;
constexpr auto destroy = zelip_cordic_v6_0_zelip_array_real_destroy;
constexpr auto set_element = zelip_cordic_v6_0_zelip_array_real_set_element;
constexpr auto get_element = zelip_cordic_v6_0_zelip_array_real_get_element;
constexpr auto set_data = zelip_cordic_v6_0_zelip_array_real_set_data;
constexpr auto get_data = zelip_cordic_v6_0_zelip_array_real_get_data;

const zelip_array_ops *real_library_table() {
  zelip_array_real *a = create();
  const zelip_array_ops *ops = a->ops;
  destroy(a);
  return ops;
}

// A real array of n elements with one dimension of length n.
zelip_array_real *real_vector(std::size_t n, const zelip_array_ops *ops = real_library_table()) {
  zelip_array_real *a = create_ex(ops);
  EXPECT_EQ(reserve_data(a, n), 0);
  EXPECT_EQ(reserve_dim(a, 1), 0);
  a->data_size = n;
  a->dim_size = 1;
  a->dim[0] = n;
  return a;
}

TEST(ArrayLifecycle, CreateEmptyDestroyDataThenDimThenRecord) {
  // Hosts address the fields directly: the table pointer is the eighth word.
  EXPECT_EQ(offsetof(zelip_array_mpz_complex, ops), 7 * sizeof(void *));
  EXPECT_EQ(sizeof(zelip_array_ops), 7 * sizeof(void *));

  HostTable host(real_library_table());
  zelip_array_real *a = create_ex(&host.ops);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->ops, &host.ops);
  EXPECT_EQ(host.realloc_bytes, std::vector<std::size_t>{sizeof(zelip_array_real)});
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->dim, nullptr);
  EXPECT_EQ(a->data_size + a->data_capacity + a->dim_size + a->dim_capacity + a->owner, 0u);
  ASSERT_EQ(reserve_data(a, 5), 0);
  void *data = a->data;
  EXPECT_EQ(destroy(a), nullptr);
  EXPECT_EQ(host.freed, (std::vector<void *>{data, nullptr, a}));  // free gets the null dim too

  EXPECT_EQ(create_ex(nullptr), nullptr);
  host.fail_realloc = true;
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_complex_create_ex(&host.ops), nullptr);
  zelip_array_ops no_realloc = host.ops;  // could never allocate: refused
  no_realloc.realloc = nullptr;
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_bit_create_ex(&no_realloc), nullptr);
  EXPECT_EQ(destroy(nullptr), nullptr);
}

TEST(ArrayReserve, GrowsKeepsElementsAndNeverShrinks) {
  zelip_array_real *a = real_vector(4);
  for (std::size_t k = 0; k < 4; ++k) a->data[k] = double(k) - 2.5;
  zelip_real *before = a->data;
  EXPECT_EQ(reserve_data(a, 2), 0);
  EXPECT_EQ(reserve_data(a, 4), 0);
  EXPECT_EQ(reserve_dim(a, 0), 0);
  EXPECT_EQ(a->data, before);
  EXPECT_EQ(a->data_capacity, 4u);
  EXPECT_EQ(a->dim_capacity, 1u);

  EXPECT_EQ(reserve_data(a, 100000), 0);
  EXPECT_EQ(reserve_dim(a, 3), 0);
  EXPECT_EQ(a->data_capacity, 100000u);
  EXPECT_EQ(a->data_size, 4u);  // the valid count is the host's
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(a->data[k], double(k) - 2.5);
  EXPECT_EQ(a->dim[0], 4u);
  EXPECT_EQ(destroy(a), nullptr);
}

TEST(ArrayReserve, FailuresLeaveTheArrayAsItWas) {
  HostTable host(real_library_table());
  zelip_array_real *a = create_ex(&host.ops);
  ASSERT_EQ(reserve_data(a, 3), 0);
  zelip_real *data = a->data;
  host.fail_realloc = true;
  EXPECT_EQ(reserve_data(a, 50), 1);
  EXPECT_EQ(reserve_dim(a, 2), 1);
  EXPECT_EQ(a->data, data);
  EXPECT_EQ(a->data_capacity, 3u);
  EXPECT_EQ(a->dim, nullptr);
  EXPECT_EQ(a->dim_capacity, 0u);

  // Without a table: refused unless the capacity already suffices.
  a->ops = nullptr;
  EXPECT_EQ(reserve_data(a, 3), 0);
  EXPECT_EQ(reserve_data(a, 4), 1);
  EXPECT_EQ(destroy(a), a);  // nothing to free it with
  a->ops = &host.ops;
  EXPECT_EQ(destroy(a), nullptr);

  EXPECT_EQ(reserve_data(nullptr, 1), 1);
  EXPECT_EQ(reserve_dim(nullptr, 1), 1);
}

// A count whose byte size does not fit in size_t is refused before any
// allocation: a wrapped size would give a tiny block that later writes overrun.
TEST(ArrayReserve, ByteCountOverflowIsRefused) {
  HostTable host(real_library_table());
  zelip_array_real *a = create_ex(&host.ops);
  host.realloc_bytes.clear();
  EXPECT_EQ(reserve_data(a, kMaxSize / 8 + 1), 1);
  EXPECT_EQ(reserve_data(a, kMaxSize), 1);
  EXPECT_EQ(reserve_dim(a, kMaxSize / sizeof(std::size_t) + 1), 1);
  EXPECT_TRUE(host.realloc_bytes.empty());
  // The largest count that fits is asked for in full (and then fails).
  host.fail_realloc = true;
  EXPECT_EQ(reserve_data(a, kMaxSize / 8), 1);
  EXPECT_EQ(host.realloc_bytes, std::vector<std::size_t>{kMaxSize / 8 * 8});
  EXPECT_EQ(a->data_capacity, 0u);
  EXPECT_EQ(destroy(a), nullptr);

  zelip_array_mpz_complex *c = zelip_cordic_v6_0_zelip_array_mpz_complex_create();
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_mpz_complex_reserve_data(c, kMaxSize / 32 + 1), 1);
  EXPECT_EQ(c->data_capacity, 0u);
  zelip_cordic_v6_0_zelip_array_mpz_complex_destroy(c);
}

TEST(ArrayView, NeverGrowsAndIsNeverFreed) {
  HostTable host(real_library_table());
  zelip_array_real *a = create_ex(&host.ops);
  double storage[8] = {};
  std::size_t dims[1] = {8};
  a->data = storage;
  a->data_size = a->data_capacity = 8;
  a->dim = dims;
  a->dim_size = a->dim_capacity = 1;
  a->owner = 1;
  host.realloc_bytes.clear();

  // Capacity first: a request that fits succeeds even on a view.
  EXPECT_EQ(reserve_data(a, 8), 0);
  EXPECT_EQ(reserve_dim(a, 1), 0);
  EXPECT_EQ(reserve_data(a, 9), 1);
  EXPECT_EQ(reserve_dim(a, 2), 1);
  EXPECT_TRUE(host.realloc_bytes.empty());
  EXPECT_EQ(set_data(a, 7.0, 5), 0);
  EXPECT_EQ(storage[5], 7.0);

  EXPECT_EQ(destroy(a), a);
  EXPECT_TRUE(host.freed.empty());
  *a = zelip_array_real{};  // hand the record back to the library to release
  a->ops = &host.ops;
  EXPECT_EQ(destroy(a), nullptr);
}

TEST(ArraySub2ind, ColumnMajorOverTheDimensionsInUse) {
  zelip_array_uint *a = zelip_cordic_v6_0_zelip_array_uint_create();
  auto ind2 = [a](std::size_t i0, std::size_t i1) { return zelip_cordic_v6_0_zelip_array_uint_sub2ind_2d(a, i0, i1); };
  auto ind3 = [a](std::size_t i0, std::size_t i1, std::size_t i2) {
    return zelip_cordic_v6_0_zelip_array_uint_sub2ind_3d(a, i0, i1, i2);
  };
  auto ind4 = [a](std::size_t i0, std::size_t i1, std::size_t i2, std::size_t i3) {
    return zelip_cordic_v6_0_zelip_array_uint_sub2ind_4d(a, i0, i1, i2, i3);
  };
  EXPECT_EQ(ind4(1, 2, 3, 4), 0u);  // no dimension storage
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_uint_sub2ind_1d(nullptr, 3), 0u);

  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_uint_reserve_dim(a, 4), 0);
  std::size_t *dim = a->dim;
  dim[0] = 5;
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_uint_sub2ind_1d(a, 9), 0u);  // none in use
  EXPECT_EQ(ind3(1, 2, 1), 0u);
  a->dim_size = 1;  // subscripts beyond the dimensions in use are ignored
  EXPECT_EQ(ind2(3, 7), 3u);
  EXPECT_EQ(ind4(3, 7, 8, 9), 3u);
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_uint_sub2ind_1d(a, 17), 17u);  // unchecked

  dim[0] = 4, dim[1] = 3, dim[2] = 2, dim[3] = 5;
  a->dim_size = 2;
  EXPECT_EQ(ind3(1, 2, 1), 1u + 4 * 2);
  a->dim_size = 3;
  EXPECT_EQ(ind3(1, 2, 1), 21u);  // 1 + 4 * (2 + 3 * 1)
  a->dim_size = 7;                // more dimensions than subscripts
  EXPECT_EQ(ind4(3, 2, 1, 4), 3u + 4 * (2 + 3 * (1 + 2 * 4)));
  dim[0] = kMaxSize;  // wraps as unsigned
  EXPECT_EQ(ind2(5, 2), std::size_t{5} + kMaxSize * 2);
  zelip_cordic_v6_0_zelip_array_uint_destroy(a);
}

TEST(ArrayElement, AccessIsBoundedByDataSizeAndNeedsEveryPiece) {
  zelip_array_real *a = real_vector(6);
  a->data_size = 3;
  const double v = 1.25;
  double out = -9.0;
  EXPECT_EQ(set_element(a, &v, 2), 0);
  EXPECT_EQ(get_element(a, &out, 2), 0);
  EXPECT_EQ(out, 1.25);

  out = -9.0;
  a->data[3] = 4.0;
  EXPECT_EQ(get_element(a, &out, 3), 1);
  EXPECT_EQ(out, -9.0);
  EXPECT_EQ(set_element(a, &v, 3), 1);
  EXPECT_EQ(set_data(a, 2.0, 3), 1);
  EXPECT_EQ(a->data[3], 4.0);

  // Missing pieces fail instead of dereferencing null.
  EXPECT_EQ(set_element(nullptr, &v, 0), 1);
  EXPECT_EQ(get_element(a, nullptr, 0), 1);
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_complex_set_data(nullptr, nullptr, 0), 1);
  const zelip_array_ops *ops = a->ops;
  a->ops = nullptr;
  EXPECT_EQ(get_element(a, &out, 0), 1);
  a->ops = ops;
  zelip_real *data = a->data;
  a->data = nullptr;  // a host that set data_size but gave no storage
  EXPECT_EQ(set_element(a, &v, 0), 1);
  a->data = data;
  EXPECT_EQ(destroy(a), nullptr);
}

TEST(ArrayData, WithoutDimensionsEveryIndexMeansElementZero) {
  zelip_array_real *r = create();
  ASSERT_EQ(reserve_data(r, 3), 0);
  r->data_size = 3;
  r->data[0] = r->data[1] = r->data[2] = 0.0;
  EXPECT_EQ(set_data(r, 6.0, 1000), 0);
  EXPECT_EQ(r->data[0], 6.0);
  double out = 0;
  EXPECT_EQ(get_data(r, &out, 2), 0);
  EXPECT_EQ(out, 6.0);
  EXPECT_EQ(get_element(r, &out, 2), 0);  // get_element does not reduce the index
  EXPECT_EQ(out, 0.0);
  ASSERT_EQ(reserve_dim(r, 1), 0);
  r->dim_size = 1;  // with dimensions the index is used as given
  EXPECT_EQ(set_data(r, 5.0, 2), 0);
  EXPECT_EQ(r->data[2], 5.0);
  destroy(r);

  zelip_array_complex *c = zelip_cordic_v6_0_zelip_array_complex_create();
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_complex_reserve_data(c, 2), 0);
  c->data_size = 2;
  const zelip_complex z{3.0, -4.0};
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_complex_set_data(c, &z, 1), 0);
  EXPECT_EQ(c->data[0].im, -4.0);
  zelip_complex back{};
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_complex_get_data(c, &back, 7), 0);
  EXPECT_EQ(back.re, 3.0);
  c->data_size = 0;  // element 0 must still exist
  EXPECT_EQ(zelip_cordic_v6_0_zelip_array_complex_get_data(c, &back, 0), 1);
  zelip_cordic_v6_0_zelip_array_complex_destroy(c);
}

// A C++ host's slot may throw; the exception must become a failure result.
TEST(ArrayHostTable, ThrowingSlotsBecomeFailures) {
  HostTable host(real_library_table());
  zelip_array_real *a = real_vector(2, &host.ops);
  host.throw_on_copy = true;
  const double v = 1.0;
  double out = 0;
  EXPECT_EQ(set_element(a, &v, 0), 1);
  EXPECT_EQ(get_data(a, &out, 0), 1);
  EXPECT_EQ(destroy(a), nullptr);
}

// Every plain element type once through its own exports, to catch a
// miswired export or a wrong element size.
template <class Array, class Element>
struct PlainExports {
  using element_type = Element;
  Array *(*create)();
  zelip_status (*reserve_data)(Array *, std::size_t);
  zelip_status (*reserve_dim)(Array *, std::size_t);
  std::size_t (*sub2ind_2d)(const Array *, std::size_t, std::size_t);
  zelip_status (*set)(Array *, const Element *, std::size_t);
  zelip_status (*get)(const Array *, Element *, std::size_t);
  Array *(*destroy)(Array *);
};

#define PLAIN_EXPORTS(T, E)                                                                               \
  PlainExports<zelip_array_##T, E> {                                                                      \
    zelip_cordic_v6_0_zelip_array_##T##_create, zelip_cordic_v6_0_zelip_array_##T##_reserve_data,         \
        zelip_cordic_v6_0_zelip_array_##T##_reserve_dim, zelip_cordic_v6_0_zelip_array_##T##_sub2ind_2d,  \
        zelip_cordic_v6_0_zelip_array_##T##_set_element, zelip_cordic_v6_0_zelip_array_##T##_get_element, \
        zelip_cordic_v6_0_zelip_array_##T##_destroy                                                       \
  }

// Distinct values for index k that differ in every byte the element uses.
uint8_t value_for(std::size_t k, uint8_t *) { return static_cast<uint8_t>(k * 37 + 1); }
double value_for(std::size_t k, double *) { return -1.5e9 + 12345.0 * double(k); }
uint32_t value_for(std::size_t k, uint32_t *) { return 0x01020304u * static_cast<uint32_t>(k + 1); }
zelip_complex value_for(std::size_t k, zelip_complex *) { return {double(k) + 0.5, -double(k) - 0.25}; }
bool operator==(const zelip_complex &a, const zelip_complex &b) { return a.re == b.re && a.im == b.im; }

template <class Exports>
void round_trip(const Exports &x) {
  using E = typename Exports::element_type;
  auto value = [](std::size_t i, std::size_t j) { return value_for(i + 10 * j, static_cast<E *>(nullptr)); };
  auto *a = x.create();
  ASSERT_EQ(x.reserve_data(a, 6), 0);
  ASSERT_EQ(x.reserve_dim(a, 2), 0);
  a->data_size = 6;
  a->dim_size = 2;
  a->dim[0] = 3;
  a->dim[1] = 2;
  for (std::size_t j = 0; j < 2; ++j)
    for (std::size_t i = 0; i < 3; ++i) {
      const E v = value(i, j);
      ASSERT_EQ(x.set(a, &v, x.sub2ind_2d(a, i, j)), 0);
    }
  ASSERT_EQ(x.reserve_data(a, 1000), 0);  // moves the block, keeps the values
  for (std::size_t k = 0; k < 6; ++k) {
    E out{};
    ASSERT_EQ(x.get(a, &out, k), 0);
    EXPECT_TRUE(out == value(k % 3, k / 3)) << "element " << k;
  }
  E out{};
  EXPECT_EQ(x.get(a, &out, 6), 1);
  EXPECT_EQ(x.destroy(a), nullptr);
}

TEST(ArrayPlainTypes, EachTypeRoundTripsThroughItsOwnExports) {
  round_trip(PLAIN_EXPORTS(bit, uint8_t));
  round_trip(PLAIN_EXPORTS(real, zelip_real));
  round_trip(PLAIN_EXPORTS(complex, zelip_complex));
  round_trip(PLAIN_EXPORTS(uint, uint32_t));
  round_trip(PLAIN_EXPORTS(uint32, uint32_t));
}

// The model's view: first dimension and sample k by the data-call rules.
TEST(ArrayModelAccess, SamplesAndFirstDimension) {
  using namespace cordic::array;
  zelip_array_complex *c = zelip_cordic_v6_0_zelip_array_complex_create();
  EXPECT_FALSE(first_dimension(c));  // no dimensions: fails any length check
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_complex_reserve_dim(c, 1), 0);
  c->dim[0] = 4;
  EXPECT_FALSE(first_dimension(c));  // dim_size still 0
  c->dim_size = 1;
  EXPECT_EQ(first_dimension(c), 4u);
  ASSERT_EQ(zelip_cordic_v6_0_zelip_array_complex_reserve_data(c, 4), 0);
  c->data_size = 3;
  EXPECT_EQ(element_count(c), 3u);

  EXPECT_TRUE(write_sample(c, 2, zelip_complex{-32768.0, 32767.0}));
  EXPECT_FALSE(write_sample(c, 3, zelip_complex{1.0, 1.0}));  // beyond data_size: skipped
  zelip_complex z{};
  EXPECT_TRUE(read_sample(c, 2, z));
  EXPECT_TRUE(z == (zelip_complex{-32768.0, 32767.0}));
  EXPECT_FALSE(read_sample(c, 3, z));
  EXPECT_FALSE(write_sample(static_cast<zelip_array_complex *>(nullptr), 0, z));
  zelip_cordic_v6_0_zelip_array_complex_destroy(c);

  zelip_array_real *r = real_vector(2);
  EXPECT_TRUE(write_sample(r, 1, -5.0));
  double v = 0;
  EXPECT_TRUE(read_sample(r, 1, v));
  EXPECT_EQ(v, -5.0);
  EXPECT_FALSE(first_dimension(static_cast<const zelip_array_real *>(nullptr)));
  destroy(r);
}

}  // namespace
