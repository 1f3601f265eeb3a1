# Times numpy on the same structural operations as structural_bench, for
# comparison.
import numpy as np
from peer_timing import argument, time_cases

N = argument(1, 10_000_000)
REPEAT = argument(2, 7)
ROWS = argument(3, 2000)
rng = np.random.default_rng(7)
x = rng.integers(-1000000, 1000000, N, dtype=np.int64)
y = x + 1
mask = rng.integers(0, 2, N).astype(bool)
a = x.reshape(ROWS, N // ROWS).copy()

time_cases([
    ("reshape", lambda: x.reshape(ROWS, N // ROWS).copy()),
    ("catenate", lambda: np.concatenate((x, y))),
    ("take", lambda: x[:N - N // 10].copy()),
    ("drop", lambda: x[N // 10:].copy()),
    ("rotate", lambda: np.roll(x, -3)),
    ("transpose", lambda: a.transpose().copy()),
    ("compress", lambda: x[mask]),
], REPEAT)
