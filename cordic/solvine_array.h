/*
 * solvine arrays: the typed, growable, multi-dimensional containers in which a
 * host passes sample blocks to the CORDIC model and receives its results.
 *
 * Seven element types share one record layout and one set of rules:
 *   bit (uint8_t), real (zelip_real), complex (zelip_complex), uint and uint32
 *   (uint32_t), mpz (one GMP integer) and mpz_complex (two GMP integers, re
 *   then im).
 *
 * Life of an array:
 *   a = ..._create();                      empty: no storage, no dimensions
 *   ..._reserve_data(a, n);                room for n elements (never shrinks)
 *   ..._reserve_dim(a, 1);                 room for the dimension lengths
 *   a->data_size = n; a->dim_size = 1; a->dim[0] = n;    the host sets these
 *   ..._set_data / _get_data / _set_element / _get_element
 *   a = ..._destroy(a);                    NULL once released
 *
 * Element access is bounded by data_size, which only the host sets; the
 * library does not check it against data_capacity. A record whose owner field
 * is non-zero is a view on storage that belongs to someone else: it never
 * grows and destroy leaves it alone.
 *
 * All storage and element handling goes through the record's operations table.
 * create uses the library's own table for the type (standard heap; GMP init,
 * set, swap and clear for the mpz types); create_ex takes a host table, which
 * must outlive the array. Every slot receives the table itself first, so a
 * host may embed the table at the start of a larger record and reach its own
 * context from inside the slots.
 *
 * Statuses are 0 for success and 1 for failure. Nothing here sends a message.
 * Plain C; the record layouts are fixed.
 */
#ifndef SOLVINE_ARRAY_H
#define SOLVINE_ARRAY_H

#include "solvine.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Element operations. Slots marked optional may be NULL. */
typedef struct zelip_array_ops zelip_array_ops;
struct zelip_array_ops {
  /* Grows (or allocates, when block is NULL) to bytes; NULL on failure, the
   * old block then still valid. Used for elements, dimensions and the record. */
  void *(*realloc)(const zelip_array_ops *ops, void *block, size_t bytes);
  /* Releases a block from realloc; block may be NULL. */
  void (*free)(const zelip_array_ops *ops, void *block);
  /* Optional: prepares one newly reserved element. */
  void (*init)(const zelip_array_ops *ops, void *element);
  /* Element assignment, used by every get and set. */
  void (*copy)(const zelip_array_ops *ops, void *destination, const void *source);
  /* Exchanges two elements; provided by the library's tables, never called. */
  void (*swap)(const zelip_array_ops *ops, void *a, void *b);
  /* Optional: releases one element before its storage is freed. */
  void (*clear)(const zelip_array_ops *ops, void *element);
  /* Unused: NULL in the library's tables, never called. */
  void (*reserved)(void);
};

/* The GMP element types are opaque here, so hosts that only pass doubles need
 * not include <gmp.h>. An element is laid out as GMP's mpz_t (16 bytes on
 * 64-bit hosts); a complex element is two of them, re then im. After
 * including <gmp.h> a host reaches element k with the macros below. */
typedef struct zelip_mpz zelip_mpz;
typedef struct zelip_mpz_complex zelip_mpz_complex;

#define ZELIP_MPZ_AT(array, k)    ((mpz_ptr)(void *)(array)->data + (k))
#define ZELIP_MPZ_RE_AT(array, k) ((mpz_ptr)(void *)(array)->data + 2 * (k))
#define ZELIP_MPZ_IM_AT(array, k) ((mpz_ptr)(void *)(array)->data + 2 * (k) + 1)
/* A host's mpz_t (or pair of them) as the element type of set/get_element. */
#define ZELIP_AS_MPZ(z)           ((zelip_mpz *)(void *)(z))
#define ZELIP_AS_MPZ_COMPLEX(z2)  ((zelip_mpz_complex *)(void *)(z2))

/* The array records: identical but for the element type of data. */
typedef struct zelip_array_bit {
  uint8_t *data;             /* contiguous element storage                     */
  size_t data_size;      /* valid elements: the bound of every access      */
  size_t data_capacity;  /* elements allocated (and initialised)           */
  size_t *dim;           /* dimension lengths, first dimension first       */
  size_t dim_size;       /* dimensions in use                              */
  size_t dim_capacity;   /* dimension slots allocated                      */
  uint32_t owner;        /* 0: owns its storage; else a view, never freed  */
  const zelip_array_ops *ops;
} zelip_array_bit;

typedef struct zelip_array_real {
  zelip_real *data;
  size_t data_size;
  size_t data_capacity;
  size_t *dim;
  size_t dim_size;
  size_t dim_capacity;
  uint32_t owner;
  const zelip_array_ops *ops;
} zelip_array_real;

typedef struct zelip_array_complex {
  zelip_complex *data;
  size_t data_size;
  size_t data_capacity;
  size_t *dim;
  size_t dim_size;
  size_t dim_capacity;
  uint32_t owner;
  const zelip_array_ops *ops;
} zelip_array_complex;

typedef struct zelip_array_uint {
  uint32_t *data;
  size_t data_size;
  size_t data_capacity;
  size_t *dim;
  size_t dim_size;
  size_t dim_capacity;
  uint32_t owner;
  const zelip_array_ops *ops;
} zelip_array_uint;

typedef struct zelip_array_uint32 {
  uint32_t *data;
  size_t data_size;
  size_t data_capacity;
  size_t *dim;
  size_t dim_size;
  size_t dim_capacity;
  uint32_t owner;
  const zelip_array_ops *ops;
} zelip_array_uint32;

typedef struct zelip_array_mpz {
  zelip_mpz *data;
  size_t data_size;
  size_t data_capacity;
  size_t *dim;
  size_t dim_size;
  size_t dim_capacity;
  uint32_t owner;
  const zelip_array_ops *ops;
} zelip_array_mpz;

typedef struct zelip_array_mpz_complex {
  zelip_mpz_complex *data;
  size_t data_size;
  size_t data_capacity;
  size_t *dim;
  size_t dim_size;
  size_t dim_capacity;
  uint32_t owner;
  const zelip_array_ops *ops;
} zelip_array_mpz_complex;

/*
 * Operations, the same for every type T:
 *   create()                 new empty array with the library's table, or NULL
 *   create_ex(ops)           the same with the host's table (NULL table, or
 *                            one without realloc: NULL)
 *   reserve_data(a, n)       0 when data_capacity is already at least n (even
 *                            for a view); else 1 for a view, a table without
 *                            realloc, a byte count that overflows size_t or a
 *                            failed realloc (the array then unchanged); else
 *                            grows, runs init on the new elements, sets
 *                            data_capacity = n. data_size is not touched.
 *   reserve_dim(a, n)        the same for dim and dim_capacity, without init
 *   destroy(a)               clears every reserved element, frees data, dim
 *                            and the record; returns NULL. A view, or an array
 *                            without a table (or without free), is returned
 *                            as it is. Use as a = destroy(a).
 *   sub2ind_Nd(a, i0, ...)   column-major linear index (first subscript
 *                            fastest) over the first dim_size dimensions;
 *                            subscripts beyond dim_size are ignored, none is
 *                            checked, the arithmetic wraps; 0 without dim
 *   set_element(a, src, k)   copies *src into element k
 *   get_element(a, dst, k)   copies element k into *dst; *dst untouched on
 *                            failure
 * set and get fail (1) for a NULL array, element pointer, storage or copy
 * slot, and for k not below data_size. real and complex also have
 *   set_data(a, value, k), get_data(a, dst, k)
 * which act as set_element/get_element on index k when the array has
 * dimensions (non-NULL dim, dim_size > 0) and on element 0 otherwise.
 */

/* ---- zelip_array_bit: elements of type uint8_t ---- */
SOLVINE_API zelip_array_bit *zelip_cordic_v6_0_zelip_array_bit_create(void);
SOLVINE_API zelip_array_bit *zelip_cordic_v6_0_zelip_array_bit_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_reserve_data(zelip_array_bit *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_reserve_dim(zelip_array_bit *array, size_t count);
SOLVINE_API zelip_array_bit *zelip_cordic_v6_0_zelip_array_bit_destroy(zelip_array_bit *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_1d(const zelip_array_bit *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_2d(const zelip_array_bit *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_3d(const zelip_array_bit *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_bit_sub2ind_4d(const zelip_array_bit *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_set_element(zelip_array_bit *array, const uint8_t *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_bit_get_element(const zelip_array_bit *array, uint8_t *destination, size_t index);

/* ---- zelip_array_real: elements of type zelip_real ---- */
SOLVINE_API zelip_array_real *zelip_cordic_v6_0_zelip_array_real_create(void);
SOLVINE_API zelip_array_real *zelip_cordic_v6_0_zelip_array_real_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_reserve_data(zelip_array_real *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_reserve_dim(zelip_array_real *array, size_t count);
SOLVINE_API zelip_array_real *zelip_cordic_v6_0_zelip_array_real_destroy(zelip_array_real *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_1d(const zelip_array_real *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_2d(const zelip_array_real *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_3d(const zelip_array_real *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_real_sub2ind_4d(const zelip_array_real *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_set_element(zelip_array_real *array, const zelip_real *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_get_element(const zelip_array_real *array, zelip_real *destination, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_set_data(zelip_array_real *array, zelip_real value, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_real_get_data(const zelip_array_real *array, zelip_real *destination, size_t index);

/* ---- zelip_array_complex: elements of type zelip_complex ---- */
SOLVINE_API zelip_array_complex *zelip_cordic_v6_0_zelip_array_complex_create(void);
SOLVINE_API zelip_array_complex *zelip_cordic_v6_0_zelip_array_complex_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_reserve_data(zelip_array_complex *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_reserve_dim(zelip_array_complex *array, size_t count);
SOLVINE_API zelip_array_complex *zelip_cordic_v6_0_zelip_array_complex_destroy(zelip_array_complex *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_1d(const zelip_array_complex *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_2d(const zelip_array_complex *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_3d(const zelip_array_complex *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_complex_sub2ind_4d(const zelip_array_complex *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_set_element(zelip_array_complex *array, const zelip_complex *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_get_element(const zelip_array_complex *array, zelip_complex *destination, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_set_data(zelip_array_complex *array, const zelip_complex *value, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_complex_get_data(const zelip_array_complex *array, zelip_complex *destination, size_t index);

/* ---- zelip_array_uint: elements of type uint32_t ---- */
SOLVINE_API zelip_array_uint *zelip_cordic_v6_0_zelip_array_uint_create(void);
SOLVINE_API zelip_array_uint *zelip_cordic_v6_0_zelip_array_uint_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_reserve_data(zelip_array_uint *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_reserve_dim(zelip_array_uint *array, size_t count);
SOLVINE_API zelip_array_uint *zelip_cordic_v6_0_zelip_array_uint_destroy(zelip_array_uint *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_1d(const zelip_array_uint *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_2d(const zelip_array_uint *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_3d(const zelip_array_uint *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint_sub2ind_4d(const zelip_array_uint *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_set_element(zelip_array_uint *array, const uint32_t *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint_get_element(const zelip_array_uint *array, uint32_t *destination, size_t index);

/* ---- zelip_array_uint32: elements of type uint32_t ---- */
SOLVINE_API zelip_array_uint32 *zelip_cordic_v6_0_zelip_array_uint32_create(void);
SOLVINE_API zelip_array_uint32 *zelip_cordic_v6_0_zelip_array_uint32_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_reserve_data(zelip_array_uint32 *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_reserve_dim(zelip_array_uint32 *array, size_t count);
SOLVINE_API zelip_array_uint32 *zelip_cordic_v6_0_zelip_array_uint32_destroy(zelip_array_uint32 *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_1d(const zelip_array_uint32 *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_2d(const zelip_array_uint32 *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_3d(const zelip_array_uint32 *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_uint32_sub2ind_4d(const zelip_array_uint32 *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_set_element(zelip_array_uint32 *array, const uint32_t *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_uint32_get_element(const zelip_array_uint32 *array, uint32_t *destination, size_t index);

/* ---- zelip_array_mpz: elements of type zelip_mpz ---- */
SOLVINE_API zelip_array_mpz *zelip_cordic_v6_0_zelip_array_mpz_create(void);
SOLVINE_API zelip_array_mpz *zelip_cordic_v6_0_zelip_array_mpz_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_reserve_data(zelip_array_mpz *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_reserve_dim(zelip_array_mpz *array, size_t count);
SOLVINE_API zelip_array_mpz *zelip_cordic_v6_0_zelip_array_mpz_destroy(zelip_array_mpz *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_1d(const zelip_array_mpz *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_2d(const zelip_array_mpz *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_3d(const zelip_array_mpz *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_sub2ind_4d(const zelip_array_mpz *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_set_element(zelip_array_mpz *array, const zelip_mpz *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_get_element(const zelip_array_mpz *array, zelip_mpz *destination, size_t index);

/* ---- zelip_array_mpz_complex: elements of type zelip_mpz_complex ---- */
SOLVINE_API zelip_array_mpz_complex *zelip_cordic_v6_0_zelip_array_mpz_complex_create(void);
SOLVINE_API zelip_array_mpz_complex *zelip_cordic_v6_0_zelip_array_mpz_complex_create_ex(const zelip_array_ops *ops);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_reserve_data(zelip_array_mpz_complex *array, size_t count);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_reserve_dim(zelip_array_mpz_complex *array, size_t count);
SOLVINE_API zelip_array_mpz_complex *zelip_cordic_v6_0_zelip_array_mpz_complex_destroy(zelip_array_mpz_complex *array);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_1d(const zelip_array_mpz_complex *array, size_t i0);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_2d(const zelip_array_mpz_complex *array, size_t i0, size_t i1);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_3d(const zelip_array_mpz_complex *array, size_t i0, size_t i1, size_t i2);
SOLVINE_API size_t zelip_cordic_v6_0_zelip_array_mpz_complex_sub2ind_4d(const zelip_array_mpz_complex *array, size_t i0, size_t i1, size_t i2, size_t i3);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_set_element(zelip_array_mpz_complex *array, const zelip_mpz_complex *source, size_t index);
SOLVINE_API zelip_status zelip_cordic_v6_0_zelip_array_mpz_complex_get_element(const zelip_array_mpz_complex *array, zelip_mpz_complex *destination, size_t index);
#ifdef __cplusplus
}
#endif

#endif /* SOLVINE_ARRAY_H */
