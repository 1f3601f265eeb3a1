// The wide loops behind reduce, scan and the products. Each body is
// written once as an inline function and compiled into two entry points,
// one for the baseline x86-64 processor and one for 256-bit registers;
// the processor is asked once which to use.
//
// Products and sums are never fused into one rounding: every item must be
// the number that the plain item-by-item definition gives.
#pragma GCC optimize("O3")
#pragma GCC optimize("fp-contract=off")
#ifdef __clang__
#pragma clang fp contract(off)
#endif
#include "primitives/fold_kernels.h"
#include "core/arena.h"
#include "core/interrupt.h"
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#define WIDE_TARGET __attribute__((target("avx2")))
static bool wide_registers() {
    static int have = -1;
    if (have < 0) have = __builtin_cpu_supports("avx2") ? 1 : 0;
    return have == 1;
}
#else
#define WIDE_TARGET
static bool wide_registers() { return false; }
#endif
#define BODY static inline __attribute__((always_inline))

// ---- Whole-vector folds ---------------------------------------------------------

BODY i64 sum_ints_body(const i64 *x, i64 n, uint64_t bias, uint64_t *spread) {
    uint64_t s = 0, o = 0;
    for (i64 i = 0; i < n; i++) {
        s += (uint64_t)x[i];
        o |= (uint64_t)x[i] + bias;
    }
    *spread = o;
    return (i64)s;
}

BODY i64 max_ints_body(const i64 *x, i64 n) {
    i64 m = INT64_MIN;
    for (i64 i = 0; i < n; i++) m = x[i] > m ? x[i] : m;
    return m;
}

BODY i64 min_ints_body(const i64 *x, i64 n) {
    i64 m = INT64_MAX;
    for (i64 i = 0; i < n; i++) m = x[i] < m ? x[i] : m;
    return m;
}

// The lanes start at the identity and take an item only when it is larger,
// so a NaN item (which compares false) is passed over.
#if defined(__x86_64__)
WIDE_TARGET static double max_floats_wide(const double *x, i64 n) {
    __m256d m0 = _mm256_set1_pd(-HUGE_VAL), m1 = m0;
    i64 i = 0;
    for (; i + 8 <= n; i += 8) {
        m0 = _mm256_max_pd(_mm256_loadu_pd(x + i), m0);
        m1 = _mm256_max_pd(_mm256_loadu_pd(x + i + 4), m1);
    }
    double lanes[8];
    _mm256_storeu_pd(lanes, m0);
    _mm256_storeu_pd(lanes + 4, m1);
    double m = -HUGE_VAL;
    for (int l = 0; l < 8; l++) m = lanes[l] > m ? lanes[l] : m;
    for (; i < n; i++) m = x[i] > m ? x[i] : m;
    return m;
}

WIDE_TARGET static double min_floats_wide(const double *x, i64 n) {
    __m256d m0 = _mm256_set1_pd(HUGE_VAL), m1 = m0;
    i64 i = 0;
    for (; i + 8 <= n; i += 8) {
        m0 = _mm256_min_pd(_mm256_loadu_pd(x + i), m0);
        m1 = _mm256_min_pd(_mm256_loadu_pd(x + i + 4), m1);
    }
    double lanes[8];
    _mm256_storeu_pd(lanes, m0);
    _mm256_storeu_pd(lanes + 4, m1);
    double m = HUGE_VAL;
    for (int l = 0; l < 8; l++) m = lanes[l] < m ? lanes[l] : m;
    for (; i < n; i++) m = x[i] < m ? x[i] : m;
    return m;
}

static double max_floats_base(const double *x, i64 n) {
    __m128d m0 = _mm_set1_pd(-HUGE_VAL), m1 = m0;
    i64 i = 0;
    for (; i + 4 <= n; i += 4) {
        m0 = _mm_max_pd(_mm_loadu_pd(x + i), m0);
        m1 = _mm_max_pd(_mm_loadu_pd(x + i + 2), m1);
    }
    double lanes[4];
    _mm_storeu_pd(lanes, m0);
    _mm_storeu_pd(lanes + 2, m1);
    double m = -HUGE_VAL;
    for (int l = 0; l < 4; l++) m = lanes[l] > m ? lanes[l] : m;
    for (; i < n; i++) m = x[i] > m ? x[i] : m;
    return m;
}

static double min_floats_base(const double *x, i64 n) {
    __m128d m0 = _mm_set1_pd(HUGE_VAL), m1 = m0;
    i64 i = 0;
    for (; i + 4 <= n; i += 4) {
        m0 = _mm_min_pd(_mm_loadu_pd(x + i), m0);
        m1 = _mm_min_pd(_mm_loadu_pd(x + i + 2), m1);
    }
    double lanes[4];
    _mm_storeu_pd(lanes, m0);
    _mm_storeu_pd(lanes + 2, m1);
    double m = HUGE_VAL;
    for (int l = 0; l < 4; l++) m = lanes[l] < m ? lanes[l] : m;
    for (; i < n; i++) m = x[i] < m ? x[i] : m;
    return m;
}
#else
static double max_floats_base(const double *x, i64 n) {
    double m = -HUGE_VAL;
    for (i64 i = 0; i < n; i++) m = x[i] > m ? x[i] : m;
    return m;
}
static double min_floats_base(const double *x, i64 n) {
    double m = HUGE_VAL;
    for (i64 i = 0; i < n; i++) m = x[i] < m ? x[i] : m;
    return m;
}
static double max_floats_wide(const double *x, i64 n) { return max_floats_base(x, n); }
static double min_floats_wide(const double *x, i64 n) { return min_floats_base(x, n); }
#endif

// ---- Row steps -------------------------------------------------------------------

BODY void add_rows_ints_body(i64 *r, const i64 *x, i64 n) {
    for (i64 j = 0; j < n; j++) r[j] = (i64)((uint64_t)x[j] + (uint64_t)r[j]);
}
BODY void max_rows_ints_body(i64 *r, const i64 *x, i64 n) {
    for (i64 j = 0; j < n; j++) r[j] = r[j] < x[j] ? x[j] : r[j];
}
BODY void min_rows_ints_body(i64 *r, const i64 *x, i64 n) {
    for (i64 j = 0; j < n; j++) r[j] = r[j] > x[j] ? x[j] : r[j];
}
BODY void add_rows_floats_body(double *r, const double *x, i64 n) {
    for (i64 j = 0; j < n; j++) r[j] = x[j] == x[j] ? x[j] + r[j] : r[j];
}
// "replaced when smaller (larger)": a NaN x compares false and is passed
// over, and a NaN already in r stays.
BODY void max_rows_floats_body(double *r, const double *x, i64 n) {
    for (i64 j = 0; j < n; j++) r[j] = r[j] < x[j] ? x[j] : r[j];
}
BODY void min_rows_floats_body(double *r, const double *x, i64 n) {
    for (i64 j = 0; j < n; j++) r[j] = r[j] > x[j] ? x[j] : r[j];
}

// ---- Matrix product --------------------------------------------------------------
// Blocks of KC steps of the inner axis, MC rows of a and NR columns of b.
// A block of a is packed four rows interleaved and a panel of b eight
// columns wide, so the 4 x 8 tile of z stays in registers over the block.
// Each item of z still takes its products in the order of the inner axis:
// the blocks of the inner axis are visited in order and each continues
// from the partial sums the previous one stored.
enum : i64 { KC = 256, MC = 128, MR = 4, NR = 8 };
typedef double v4d __attribute__((vector_size(32), aligned(8)));

BODY void pack_a(double *ap, const double *a, i64 lda, i64 rows, i64 kc) {
    for (i64 r0 = 0; r0 < rows; r0 += MR)
        for (i64 p = 0; p < kc; p++)
            for (i64 r = 0; r < MR; r++)
                *ap++ = r0 + r < rows ? a[(r0 + r) * lda + p] : 0.0;
}

BODY void pack_b(double *bp, const double *b, i64 ldb, i64 cols, i64 kc) {
    for (i64 p = 0; p < kc; p++)
        for (i64 c = 0; c < NR; c++) *bp++ = c < cols ? b[p * ldb + c] : 0.0;
}

BODY void product_tile(double *z, i64 ldz, const double *ap, const double *bp, i64 kc, i64 rows, i64 cols,
                       bool first) {
    double tile[MR * NR];
    for (i64 r = 0; r < MR; r++)
        for (i64 c = 0; c < NR; c++) tile[r * NR + c] = first || r >= rows || c >= cols ? 0.0 : z[r * ldz + c];
    v4d c0a = *(v4d *)(tile + 0), c0b = *(v4d *)(tile + 4);
    v4d c1a = *(v4d *)(tile + 8), c1b = *(v4d *)(tile + 12);
    v4d c2a = *(v4d *)(tile + 16), c2b = *(v4d *)(tile + 20);
    v4d c3a = *(v4d *)(tile + 24), c3b = *(v4d *)(tile + 28);
    for (i64 p = 0; p < kc; p++) {
        v4d ba = *(const v4d *)(bp + NR * p), bb = *(const v4d *)(bp + NR * p + 4);
        const double *a = ap + MR * p;
        v4d a0 = {a[0], a[0], a[0], a[0]}, a1 = {a[1], a[1], a[1], a[1]};
        v4d a2 = {a[2], a[2], a[2], a[2]}, a3 = {a[3], a[3], a[3], a[3]};
        v4d t;
        t = ba * a0; c0a = c0a + t;
        t = bb * a0; c0b = c0b + t;
        t = ba * a1; c1a = c1a + t;
        t = bb * a1; c1b = c1b + t;
        t = ba * a2; c2a = c2a + t;
        t = bb * a2; c2b = c2b + t;
        t = ba * a3; c3a = c3a + t;
        t = bb * a3; c3b = c3b + t;
    }
    *(v4d *)(tile + 0) = c0a; *(v4d *)(tile + 4) = c0b;
    *(v4d *)(tile + 8) = c1a; *(v4d *)(tile + 12) = c1b;
    *(v4d *)(tile + 16) = c2a; *(v4d *)(tile + 20) = c2b;
    *(v4d *)(tile + 24) = c3a; *(v4d *)(tile + 28) = c3b;
    for (i64 r = 0; r < rows; r++)
        for (i64 c = 0; c < cols; c++) z[r * ldz + c] = tile[r * NR + c];
}

BODY int matrix_product_body(double *z, const double *a, const double *b, i64 m, i64 k, i64 n,
                             double *ap, double *bp) {
    if (k == 0) {
        for (i64 i = 0; i < m * n; i++) z[i] = 0.0;
        return 0;
    }
    for (i64 kb = 0; kb < k; kb += KC) {
        i64 kc = k - kb < KC ? k - kb : KC;
        for (i64 ib = 0; ib < m; ib += MC) {
            if (interrupt_requested()) return INTERRUPT_ERROR;
            i64 mc = m - ib < MC ? m - ib : MC;
            pack_a(ap, a + ib * k + kb, k, mc, kc);
            for (i64 jb = 0; jb < n; jb += NR) {
                i64 nc = n - jb < NR ? n - jb : NR;
                pack_b(bp, b + kb * n + jb, n, nc, kc);
                for (i64 ir = 0; ir < mc; ir += MR) {
                    i64 rows = mc - ir < MR ? mc - ir : MR;
                    product_tile(z + (ib + ir) * n + jb, n, ap + ir * kc, bp, kc, rows, nc, kb == 0);
                }
            }
        }
    }
    return 0;
}

// ---- Entry points -------------------------------------------------------------------

#define BOTH(name, ret, params, args)                            \
    WIDE_TARGET static ret name##_wide params { return name##_body args; } \
    static ret name##_base params { return name##_body args; }            \
    ret name params { return wide_registers() ? name##_wide args : name##_base args; }

BOTH(sum_ints, i64, (const i64 *x, i64 n, uint64_t bias, uint64_t *spread), (x, n, bias, spread))
BOTH(max_ints, i64, (const i64 *x, i64 n), (x, n))
BOTH(min_ints, i64, (const i64 *x, i64 n), (x, n))
BOTH(add_rows_ints, void, (i64 *r, const i64 *x, i64 n), (r, x, n))
BOTH(max_rows_ints, void, (i64 *r, const i64 *x, i64 n), (r, x, n))
BOTH(min_rows_ints, void, (i64 *r, const i64 *x, i64 n), (r, x, n))
BOTH(add_rows_floats, void, (double *r, const double *x, i64 n), (r, x, n))
BOTH(max_rows_floats, void, (double *r, const double *x, i64 n), (r, x, n))
BOTH(min_rows_floats, void, (double *r, const double *x, i64 n), (r, x, n))

double max_floats(const double *x, i64 n) { return wide_registers() ? max_floats_wide(x, n) : max_floats_base(x, n); }
double min_floats(const double *x, i64 n) { return wide_registers() ? min_floats_wide(x, n) : min_floats_base(x, n); }

WIDE_TARGET static int matrix_product_wide(double *z, const double *a, const double *b, i64 m, i64 k, i64 n,
                                           double *ap, double *bp) {
    return matrix_product_body(z, a, b, m, k, n, ap, bp);
}
static int matrix_product_base(double *z, const double *a, const double *b, i64 m, i64 k, i64 n,
                               double *ap, double *bp) {
    return matrix_product_body(z, a, b, m, k, n, ap, bp);
}

int matrix_product(double *z, const double *a, const double *b, i64 m, i64 k, i64 n) {
    // the packing buffers are small and fixed: MC x KC of a, KC x NR of b
    double *ap = (double *)checked_malloc((i64)sizeof(double) * (MC + MR) * KC);
    double *bp = (double *)checked_malloc((i64)sizeof(double) * KC * NR);
    int e = wide_registers() ? matrix_product_wide(z, a, b, m, k, n, ap, bp)
                             : matrix_product_base(z, a, b, m, k, n, ap, bp);
    free(ap);
    free(bp);
    return e;
}
