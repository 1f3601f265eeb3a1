# Times numpy's datetime64 plus timedelta64 on the cases of time_bench, for
# comparison.
import numpy as np
from peer_timing import argument, time_cases

N = argument(1, 10_000_000)
REPEAT = argument(2, 7)
rng = np.random.default_rng(7)
start = np.datetime64('1900-01-01')
dates = start + rng.integers(400, 73000, N).astype('timedelta64[D]')
dates2 = start + rng.integers(400, 73000, N).astype('timedelta64[D]')
counts = rng.integers(-365, 365, N).astype('timedelta64[D]')
times = rng.integers(0, 86400000, N).astype('timedelta64[ms]') + np.datetime64('2024-01-01T00:00:00.000')
stamps = dates.astype('datetime64[ms]') + rng.integers(0, 86400000, N).astype('timedelta64[ms]')

time_cases([
    ("date_plus_count", lambda: dates + np.timedelta64(5, 'D')),
    ("date_plus_counts", lambda: dates + counts),
    ("date_minus_date", lambda: dates - dates2),
    ("time_plus_count", lambda: times + np.timedelta64(5, 'ms')),
    ("datetime_plus_count", lambda: stamps + np.timedelta64(3600000, 'ms')),
], REPEAT)
