// The matrix inverse, of the random family's symbol table row.
//
// Ledger
// - inverse (#. y): a number gives its reciprocal; a vector x gives
//   x % +/x*x (the inverse of x as a one-column matrix); a square matrix
//   its inverse, solved against the identity by the system's linear
//   algebra library (LU with partial pivoting). The result is float,
//   demoted to integer when every item is whole.
// Fast path: none beyond the library's own solver.
// Refuses with 1: types other than boolean, integer or float, rank above
// 2, an empty operand, a matrix that is not square, a zero number or a
// vector holding a zero, a singular matrix, and an order above the
// library's 32-bit sizes.
#include "prim.h"
#include "random.h"
#include "core/arena.h"
#include "core/valueops.h"

// The library's solver of A*X = B (column-major, arguments by reference,
// 32-bit integers).
extern "C" void dgesv_(const int *n, const int *nrhs, double *a, const int *lda, int *ipiv, double *b,
                       const int *ldb, int *info);

static void transpose_in_place(i64 n, double *a) {
    for (i64 i = 0; i < n; i++)
        for (i64 j = i + 1; j < n; j++) {
            double t = a[i * n + j];
            a[i * n + j] = a[j * n + i];
            a[j * n + i] = t;
        }
}

int matrix_inverse(i64 n, double *a, double *inverse) {
    // the value's rows are the solver's columns
    transpose_in_place(n, a);
    for (i64 i = 0; i < n * n; i++) inverse[i] = 0.0;
    for (i64 i = 0; i < n; i++) inverse[i * n + i] = 1.0;
    int order = (int)n, info = 0;
    int *pivots = (int *)scratch_alloc(T_INT, n);
    if (!pivots) return -1;
    dgesv_(&order, &order, a, &order, pivots, inverse, &order, &info);
    transpose_in_place(n, inverse);
    return info;
}

static int invert_vector(const Operand &y, double *z) {
    double sum = 0.0;
    for (i64 i = 0; i < y.count; i++) {
        double v = y.real(i);
        if (v == 0.0) return fail(VEK_DOMAIN);
        sum += v * v;
    }
    for (i64 i = 0; i < y.count; i++) z[i] = y.real(i) / sum;
    return 0;
}

int prim_matrix_inverse(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!y.is_real() || y.rank > 2 || y.count == 0) return fail(VEK_DOMAIN);
    i64 n = y.dim(0);
    if (y.rank == 2 && (y.dim(1) != n || n > 0x7fffffff)) return fail(VEK_DOMAIN);
    if (y.single && y.real(0) == 0.0) return fail(VEK_DOMAIN);
    // the operand is copied before the result slot is taken: it may be
    // the result slot itself
    double *a = (double *)scratch_alloc(T_FLOAT, y.count);
    if (!a) return VEK_WS_FULL;
    for (i64 i = 0; i < y.count; i++) a[i] = y.real(i);
    Shape s;
    shape_of(&s, &y);
    if (y.rank < 2) {
        if (y.single) a[0] = 1.0 / a[0];
        else if (invert_vector(y, a)) return VEK_DOMAIN;
    } else {
        double *inverse = (double *)scratch_alloc(T_FLOAT, y.count);
        if (!inverse) return VEK_WS_FULL;
        int info = matrix_inverse(n, a, inverse);
        if (info == -1) return VEK_WS_FULL;
        if (info != 0) return fail(VEK_DOMAIN);
        a = inverse;
    }
    Result z;
    if (begin_result(&z, result_slot, T_FLOAT, s, &y, nullptr, true)) return (int)error_number;
    for (i64 i = 0; i < z.count; i++) z.floats()[i] = a[i];
    if (demote_float_to_int(-1, result_slot)) return (int)error_number;
    return 0;
}
