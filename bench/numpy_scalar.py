# Times numpy on the same elementwise operations as scalar_bench, for
# comparison. Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 7
rng = np.random.default_rng(7)
xi = rng.integers(-1000000, 1000000, N, dtype=np.int64)
yi = rng.integers(-1000000, 1000000, N, dtype=np.int64)
xf = xi / 7.0
yf = yi / 3.0

cases = [
    ("int_add", lambda: xi + yi),
    ("int_times", lambda: xi * yi),
    ("int_less", lambda: xi < yi),
    ("int_scalar_add", lambda: 5 + yi),
    ("float_add", lambda: xf + yf),
    ("float_times", lambda: xf * yf),
    ("float_less", lambda: xf < yf),
    ("float_scalar_times", lambda: 2.5 * yf),
]
for name, f in cases:
    best = float("inf")
    for _ in range(REPEAT):
        t = time.perf_counter()
        r = f()
        best = min(best, time.perf_counter() - t)
        del r
    print(f"{name} {best * 1000:.2f}")
