// Item kernels of the scalar functions: one integer, float or complex item
// at a time, the circle functions, the exact binomial, the factorial, the
// logical items, and the splitting of complex literals for alignment.
// The whole-array kernels (scalar_kernels.cpp) use these for the functions
// that are not simple arithmetic, and the operators call them directly.
#include "core/errors.h"
#include "primitives/scalar.h"
#include "core/value.h"
#include "core/output.h"
#include <cmath>
#include <complex>
#include <cstring>

typedef std::complex<double> cplx;

static const double PI = 3.141592653589793;
static const double TWO_63 = 9223372036854775808.0;
static const double NEAR_ZERO = 1e-13;
static const i64 BINOMIAL_GUARD = 514;
static const i64 BINOMIAL_TABLE = 650;

i64 double_to_int_checked(double d) {
    if (d != d || d <= -TWO_63) return INT64_MIN;
    if (d >= TWO_63) return INT64_MAX;
    return (i64)d;
}

// The integer sum, difference and product go through a double so that
// results beyond 2^53 carry a double's precision, as the language defines;
// a double at or beyond 2^63 has no 64-bit value, so the exact wrapped
// result is kept there.
static inline i64 through_double(i64 r) {
    double d = (double)r;
    if (d >= TWO_63 || d < -TWO_63) return r;
    return (i64)d;
}

static i64 int_residue(i64 x, i64 y) {
    if (x == 0) return y;
    double dx = (double)x, dy = (double)y;
    return double_to_int_checked(dy - dx * std::floor(dy / dx + NEAR_ZERO));
}

static double binomial_extended_int(i64 k, i64 n, int *failed);

i64 int_dyadic_kernel(i64 code, i64 x, i64 y) {
    uint64_t ux = (uint64_t)x, uy = (uint64_t)y;
    switch (code) {
    case P_PLUS: return through_double((i64)(ux + uy));
    case P_MINUS: return through_double((i64)(ux - uy));
    case P_TIMES: return through_double((i64)(ux * uy));
    case P_MAX: return x > y ? x : y;
    case P_MIN: return x < y ? x : y;
    case P_RESIDUE: return int_residue(x, y);
    case P_BINOMIAL: {
        int failed = 0;
        double b = binomial_extended_int(x, y, &failed);
        if (failed || !(b > -TWO_63 && b < TWO_63)) { error_number = VEK_DOMAIN; return 0; }
        return (i64)b;
    }
    }
    error_number = VEK_DOMAIN;
    return 0;
}

double float_dyadic_kernel(i64 code, double x, double y) {
    switch (code) {
    case P_PLUS: return x + y;
    case P_MINUS: return x - y;
    case P_TIMES: return x * y;
    case P_DIVIDE: return x == y ? 1.0 : x / y;
    case P_MAX: return x > y ? x : y;
    case P_MIN: return x < y ? x : y;
    case P_POWER: return std::pow(x, y);
    case P_LOG: return x == y ? 1.0 : std::log(y) / std::log(x);
    case P_RESIDUE: return x == 0 ? y : y - x * std::floor(y / x + NEAR_ZERO);
    case P_BINOMIAL: {
        int failed = 0;
        double b = binomial_extended(x, y, &failed);
        if (failed) { error_number = VEK_DOMAIN; return float_nan; }
        return b;
    }
    case P_CIRCLE: return circle_function(double_to_int_checked(x), y);
    }
    return -1;
}

// ---- Binomial and factorial ---------------------------------------------------

static i64 gcd64(i64 a, i64 b) {
    while (b) { i64 t = a % b; a = b; b = t; }
    return a;
}

int binomial_size_guard(i64 k, i64 n) {
    i64 m = k < n - k ? k : n - k;
    return m > BINOMIAL_GUARD;
}

double binomial(i64 k, i64 n) {
    if (k < 0 || k > n) return 0;
    if (2 * (double)k < (double)n) k = n - k;
    i64 m = n - k;                      // number of numerator factors
    if (m < 2) return m == 0 ? 1.0 : (double)n;
    if (m > BINOMIAL_TABLE) return float_nan;   // callers apply the guard first
    i64 factor[BINOMIAL_TABLE];
    for (i64 j = 0; j < m; j++) factor[j] = n - j;
    // The product of m consecutive integers is divisible by m!, so one pass
    // of cancellations removes every denominator factor completely.
    for (i64 d = 2; d <= m; d++) {
        i64 rest = d;
        for (i64 j = 0; j < m && rest > 1; j++) {
            i64 g = gcd64(factor[j], rest);
            if (g > 1) { factor[j] /= g; rest /= g; }
        }
    }
    double product = 1.0;
    for (i64 j = 0; j < m; j++) product *= (double)factor[j];
    return product;
}

static bool whole_in_range(double d) {
    return d == std::floor(d) && d > -TWO_63 && d < TWO_63;
}

// The extended binomial on integers: negative pairs are carried over to
// ordinary ones, and the size guard applies to the pair actually computed.
static double binomial_extended_int(i64 k, i64 n, int *failed) {
    i64 k2, n2;
    double sign = 1.0;
    *failed = 0;
    if (k >= 0 && n >= k) {
        k2 = k; n2 = n;
    } else if (k >= 0 && n < 0) {
        if (__builtin_add_overflow(k, ~n, &n2)) { *failed = 1; return float_nan; }
        k2 = k;
        if (k & 1) sign = -1.0;
    } else if (k < 0 && n < 0 && n >= k) {
        k2 = ~n; n2 = ~k;           // -n-1 and -k-1, neither can overflow
        if ((n - k) & 1) sign = -1.0;
    } else {
        return 0.0;
    }
    if (binomial_size_guard(k2, n2)) { *failed = 1; return float_nan; }
    return sign * binomial(k2, n2);
}

double binomial_extended(double kd, double nd, int *failed) {
    if (!whole_in_range(kd) || !whole_in_range(nd)) { *failed = 1; return float_nan; }
    return binomial_extended_int((i64)kd, (i64)nd, failed);
}

double factorial_double(i64 n) {
    double product = 1.0;
    for (i64 j = n; j >= 2; j--) {
        product *= (double)j;
        if (std::isinf(product)) break;   // nothing further changes it
    }
    return product;
}

// ---- Circle functions ------------------------------------------------------------

static double drop_tiny(double r) { return std::fabs(r) < NEAR_ZERO ? 0.0 : r; }

double circle_function(i64 k, double x) {
    double r;
    switch (k) {
    case 0: r = std::sqrt(1 - x * x); break;
    case 1: r = std::sin(x); break;
    case 2: r = std::cos(x); break;
    case 3: r = std::tan(x); break;
    case 4: r = std::sqrt(1 + x * x); break;
    case 5: r = std::sinh(x); break;
    case 6: r = std::cosh(x); break;
    case 7: r = std::tanh(x); break;
    case -1: r = std::asin(x); break;
    case -2: r = std::acos(x); break;
    case -3: r = std::atan(x); break;
    case -4: r = std::sqrt(x * x - 1); break;
    case -5: r = std::asinh(x); break;
    case -6: r = std::acosh(x); break;
    case -7: r = std::atanh(x); break;
    default:
        vek_printf("Debug[%s:%4d] %s\n", "vpfn1", 2285, "not implemented yet!\n");
        return 0;
    }
    return drop_tiny(r);
}

static void store(double *r, cplx z) { r[0] = z.real(); r[1] = z.imag(); }

void complex_circle(double *result, i64 k, const double *zp) {
    cplx z(zp[0], zp[1]);
    double a = zp[0], b = zp[1];
    cplx one(1, 0);
    switch (k) {
    case 0: store(result, std::sqrt(one - z * z)); return;
    case 1: store(result, std::sin(z)); return;
    case 2: store(result, std::cos(z)); return;
    case 3: store(result, std::tan(z)); return;
    case 4: store(result, std::sqrt(one + z * z)); return;
    case 5: store(result, std::sinh(z)); return;
    case 6: store(result, std::cosh(z)); return;
    case 7: store(result, std::tanh(z)); return;
    case 8:
    case -8: {
        cplx w = std::sqrt(-one - z * z);
        if (!(b > 0 && (a != 0 || b > 1))) w = -w;
        store(result, k == 8 ? w : -w);
        return;
    }
    case 9: result[0] = a; result[1] = 0; return;
    case 10: result[0] = std::abs(z); result[1] = 0; return;
    case 11: result[0] = b; result[1] = 0; return;
    case -1: store(result, std::asin(z)); return;
    case -2: store(result, std::acos(z)); return;
    case -3: store(result, std::atan(z)); return;
    case -4: store(result, std::sqrt(z * z - one)); return;
    case -5: store(result, std::asinh(z)); return;
    case -6: store(result, std::acosh(z)); return;
    case -7: store(result, std::atanh(z)); return;
    case -9: result[0] = a; result[1] = b; return;
    case -10: result[0] = a; result[1] = -b; return;
    case -11: result[0] = -b; result[1] = a; return;
    case -12: store(result, std::exp(cplx(-b, a))); return;
    }
    result[0] = 0; result[1] = 0;
}

// ---- Complex items ------------------------------------------------------------------

static cplx complex_floor(double a, double b) {
    double m = std::floor(a), l = std::floor(b);
    if ((a - m) + (b - l) >= 1) {
        if ((a - m) - (b - l) > 0) m += 1; else l += 1;
    }
    return cplx(m, l);
}

static cplx complex_ceiling(double a, double b) {
    double m = std::ceil(a), l = std::ceil(b);
    if ((m - a) + (l - b) >= 1) {
        if ((m - a) - (l - b) > 0) m -= 1; else l -= 1;
    }
    return cplx(m, l);
}

static void clear_tiny_parts(double *r) {
    r[0] = drop_tiny(r[0]);
    r[1] = drop_tiny(r[1]);
}

int complex_dyadic(i64 code, double *result, const double *x, const double *y) {
    double a = x[0], b = x[1], c = y[0], d = y[1];
    double r[2];
    switch (code) {
    case P_PLUS: r[0] = a + c; r[1] = b + d; break;
    case P_MINUS: r[0] = a - c; r[1] = b - d; break;
    case P_TIMES: r[0] = a * c - b * d; r[1] = b * c + a * d; break;
    case P_DIVIDE:
        if (c == 0 && d == 0) {
            if (a != 0 || b != 0) return 1;
            r[0] = 1; r[1] = 0;
        } else {
            double q = c * c + d * d;
            r[0] = (a * c + b * d) / q; r[1] = (b * c - a * d) / q;
        }
        break;
    case P_POWER:
        if (b == 0 && (a == 0 || a == 1)) { r[0] = a; r[1] = b; }
        else store(r, std::pow(cplx(a, b), cplx(c, d)));
        break;
    case P_LOG:
        if ((a == 0 && b == 0) || (c == 0 && d == 0)) return 1;
        store(r, std::log(cplx(c, d)) / std::log(cplx(a, b)));
        break;
    case P_RESIDUE: {
        if (a == 0 && b == 0) {
            if (c != 0 || d != 0) return 1;
            r[0] = 0; r[1] = 0;
            break;
        }
        cplx xz(a, b), yz(c, d);
        cplx q = yz / xz;
        store(r, yz - xz * complex_floor(q.real(), q.imag()));
        break;
    }
    case P_CIRCLE: complex_circle(r, double_to_int_checked(a), y); break;
    default: return 1;
    }
    clear_tiny_parts(r);
    result[0] = r[0];
    result[1] = r[1];
    return 0;
}

void complex_monadic(i64 code, i64 count, double *result, const double *operand) {
    for (i64 i = 0; i < count; i++) {
        double a = operand[2 * i], b = operand[2 * i + 1];
        double *r = result + 2 * i;
        cplx z(a, b);
        switch (code) {
        case 44: r[0] = a; r[1] = -b; break;
        case 46: r[0] = -a; r[1] = -b; break;
        case 48: {
            double m = std::abs(z);
            if (m == 0) { r[0] = 0; r[1] = 0; } else { r[0] = a / m; r[1] = b / m; }
            break;
        }
        case 50: { double q = a * a + b * b; r[0] = a / q; r[1] = -b / q; break; }
        case 52: store(r, complex_ceiling(a, b)); break;
        case 54: store(r, complex_floor(a, b)); break;
        case 56: store(r, std::exp(z)); break;
        case 58: store(r, std::log(z)); break;
        case 60: r[0] = std::abs(z); r[1] = 0; break;
        case 64: r[0] = a * PI; r[1] = b * PI; break;
        default:
            vek_puts("why are you here? an error occurs");
            return;
        }
        clear_tiny_parts(r);
    }
}

// ---- Logical items and literal splitting --------------------------------------------

