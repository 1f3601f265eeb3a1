# Times numpy's datetime64 plus timedelta64 on the cases of time_bench, for
# comparison. Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 7
rng = np.random.default_rng(7)
start = np.datetime64('1900-01-01')
dates = start + rng.integers(400, 73000, N).astype('timedelta64[D]')
dates2 = start + rng.integers(400, 73000, N).astype('timedelta64[D]')
counts = rng.integers(-365, 365, N).astype('timedelta64[D]')
times = rng.integers(0, 86400000, N).astype('timedelta64[ms]') + np.datetime64('2024-01-01T00:00:00.000')
stamps = dates.astype('datetime64[ms]') + rng.integers(0, 86400000, N).astype('timedelta64[ms]')

cases = [
    ("date_plus_count", lambda: dates + np.timedelta64(5, 'D')),
    ("date_plus_counts", lambda: dates + counts),
    ("date_minus_date", lambda: dates - dates2),
    ("time_plus_count", lambda: times + np.timedelta64(5, 'ms')),
    ("datetime_plus_count", lambda: stamps + np.timedelta64(3600000, 'ms')),
]
for name, f in cases:
    best = float("inf")
    for _ in range(REPEAT):
        t = time.perf_counter()
        r = f()
        best = min(best, time.perf_counter() - t)
        del r
    print(f"{name} {best * 1000:.2f}")
