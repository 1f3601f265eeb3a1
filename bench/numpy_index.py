# Times numpy on the same selections as index_bench, for comparison.
import numpy as np
from peer_timing import argument, time_cases

N = argument(1, 10_000_000)
PICKS = argument(2, 1_000_000)
REPEAT = argument(3, 7)
rng = np.random.default_rng(7)
x = rng.integers(-1000000, 1000000, N, dtype=np.int64)
positions = rng.integers(0, N, PICKS, dtype=np.int64)
mask = rng.integers(0, 2, N, dtype=np.int64).astype(bool)

time_cases([
    ("gather", lambda: x[positions]),
    ("interval", lambda: np.arange(N, dtype=np.int64)),
    ("where", lambda: np.flatnonzero(mask)),
], REPEAT)
