# Times numpy on the same folds, scans and products as operators_bench.
import numpy as np
from peer_timing import argument, time_cases

N = argument(1, 10_000_000)
REPEAT = argument(2, 7)
rng = np.random.default_rng(7)
xi = rng.integers(-1000000, 1000000, N, dtype=np.int64)
xf = xi / 7.0
ma = rng.integers(-1000000, 1000000, (500, 500)) / 7.0
mb = rng.integers(-1000000, 1000000, (500, 500)) / 3.0
oa = rng.integers(-1000, 1000, 1000)
ob = rng.integers(-1000, 1000, 10000)
oaf = oa / 7.0
obf = ob / 3.0

time_cases([
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
], REPEAT)
