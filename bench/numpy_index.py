# Times numpy on the same selections as index_bench, for comparison.
# Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
PICKS = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
REPEAT = int(sys.argv[3]) if len(sys.argv) > 3 else 7
rng = np.random.default_rng(7)
x = rng.integers(-1000000, 1000000, N, dtype=np.int64)
positions = rng.integers(0, N, PICKS, dtype=np.int64)
mask = rng.integers(0, 2, N, dtype=np.int64).astype(bool)

cases = [
    ("gather", lambda: x[positions]),
    ("interval", lambda: np.arange(N, dtype=np.int64)),
    ("where", lambda: np.flatnonzero(mask)),
]
for name, f in cases:
    best = float("inf")
    for _ in range(REPEAT):
        t = time.perf_counter()
        r = f()
        best = min(best, time.perf_counter() - t)
        del r
    print(f"{name} {best * 1000:.2f}")
