# Times pandas on the table cases of table_bench, on the same data shapes.
# Prints one line per case: name and best milliseconds.
import sys, time
import numpy as np
import pandas as pd

N = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 7
rng = np.random.default_rng(7)
a = np.arange(N, dtype=np.int64)
b = rng.random(N)
c = rng.integers(0, 1000, N, dtype=np.int64)
d = rng.integers(0, 2, N).astype(bool)
mask = rng.random(N) < 0.5
keys = rng.permutation(N).astype(np.int64)
vals = rng.random(N)
sought = rng.integers(0, N, 100_000, dtype=np.int64)
small = pd.DataFrame({"k": np.arange(1000, dtype=np.int64), "w": rng.random(1000)})


def build():
    pd.DataFrame({"a": a, "b": b, "c": c, "d": d})


frame = pd.DataFrame({"a": a, "b": b, "c": c, "d": d})


def select():
    frame[mask]


def lookup():
    # a fresh index: its hash table is built inside get_indexer, as the
    # keyed lookup builds its own
    index = pd.Index(keys.copy())
    index.get_indexer(sought)


left = pd.DataFrame({"a": a, "k": c})


def join():
    left.merge(small, how="left", on="k")


cases = [("build", build), ("select", select), ("lookup", lookup), ("join", join)]
for name, fn in cases:
    best = 1e300
    for _ in range(REPEAT):
        t = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t)
    print(name, best * 1e3)
