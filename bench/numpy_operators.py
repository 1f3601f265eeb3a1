# Times numpy on the same folds, scans and products as operators_bench.
# Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 7
rng = np.random.default_rng(7)
xi = rng.integers(-1000000, 1000000, N, dtype=np.int64)
xf = xi / 7.0
ma = rng.integers(-1000000, 1000000, (500, 500)) / 7.0
mb = rng.integers(-1000000, 1000000, (500, 500)) / 3.0
oa = rng.integers(-1000, 1000, 1000)
ob = rng.integers(-1000, 1000, 10000)
oaf = oa / 7.0
obf = ob / 3.0

cases = [
    ("int_sum", lambda: np.sum(xi)),
    ("float_sum", lambda: np.sum(xf)),
    ("int_max", lambda: np.max(xi)),
    ("int_min", lambda: np.min(xi)),
    ("float_max", lambda: np.max(xf)),
    ("float_min", lambda: np.min(xf)),
    ("int_cumsum", lambda: np.cumsum(xi)),
    ("float_cumsum", lambda: np.cumsum(xf)),
    ("matmul_500", lambda: ma @ mb),
    ("outer_times_int", lambda: np.multiply.outer(oa, ob)),
    ("outer_times_float", lambda: np.multiply.outer(oaf, obf)),
]
for name, f in cases:
    best = float("inf")
    for _ in range(REPEAT):
        t = time.perf_counter()
        r = f()
        best = min(best, time.perf_counter() - t)
        del r
    print(f"{name} {best * 1000:.3f}")
