# Times numpy on the same structural operations as structural_bench, for
# comparison. Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 7
ROWS = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
rng = np.random.default_rng(7)
x = rng.integers(-1000000, 1000000, N, dtype=np.int64)
y = x + 1
mask = rng.integers(0, 2, N).astype(bool)
a = x.reshape(ROWS, N // ROWS).copy()

cases = [
    ("reshape", lambda: x.reshape(ROWS, N // ROWS).copy()),
    ("catenate", lambda: np.concatenate((x, y))),
    ("take", lambda: x[:N - N // 10].copy()),
    ("drop", lambda: x[N // 10:].copy()),
    ("rotate", lambda: np.roll(x, -3)),
    ("transpose", lambda: a.transpose().copy()),
    ("compress", lambda: x[mask]),
]
for name, f in cases:
    best = float("inf")
    for _ in range(REPEAT):
        t = time.perf_counter()
        r = f()
        best = min(best, time.perf_counter() - t)
        del r
    print(f"{name} {best * 1000:.2f}")
