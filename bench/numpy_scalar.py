# Times numpy on the same elementwise operations as scalar_bench, for
# comparison.
import numpy as np
from peer_timing import argument, time_cases

N = argument(1, 10_000_000)
REPEAT = argument(2, 7)
rng = np.random.default_rng(7)
xi = rng.integers(-1000000, 1000000, N, dtype=np.int64)
yi = rng.integers(-1000000, 1000000, N, dtype=np.int64)
xf = xi / 7.0
yf = yi / 3.0

time_cases([
    ("int_add", lambda: xi + yi),
    ("int_times", lambda: xi * yi),
    ("int_less", lambda: xi < yi),
    ("int_scalar_add", lambda: 5 + yi),
    ("float_add", lambda: xf + yf),
    ("float_times", lambda: xf * yf),
    ("float_less", lambda: xf < yf),
    ("float_scalar_times", lambda: 2.5 * yf),
], REPEAT)
