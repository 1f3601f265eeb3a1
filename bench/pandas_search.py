# Times numpy and pandas on the searches and sorts of search_bench, for
# comparison. Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np
import pandas as pd

N = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 7
rng = np.random.default_rng(7)
x = rng.integers(0, N, N, dtype=np.int64)
y = rng.integers(0, N, N, dtype=np.int64)
f = rng.random(N) * N
keys = rng.integers(0, 1000, N, dtype=np.int64)
unique_x = pd.unique(x)


def index_of():
    # a fresh index each time: its hash table is built inside get_indexer
    index = pd.Index(unique_x.copy())
    t = time.perf_counter()
    index.get_indexer(y)
    return time.perf_counter() - t


def timed(fn):
    def run():
        t = time.perf_counter()
        fn()
        return time.perf_counter() - t
    return run


cases = [
    ("index_of", index_of),
    ("member", timed(lambda: np.isin(x, y))),
    ("grade_float", timed(lambda: np.argsort(f, kind="stable"))),
    ("grade_int", timed(lambda: np.argsort(x, kind="stable"))),
    ("distinct", timed(lambda: pd.unique(x))),
    ("group", timed(lambda: pd.Series(keys).groupby(keys).indices)),
]
for name, run in cases:
    best = min(run() for _ in range(REPEAT))
    print(f"{name} {best * 1000:.2f}")
