# Times pandas on the table cases of table_bench, on the same data shapes.
import numpy as np
import pandas as pd
from peer_timing import argument, discarding, time_cases

N = argument(1, 1_000_000)
REPEAT = argument(2, 7)
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
frame = pd.DataFrame({"a": a, "b": b, "c": c, "d": d})
left = pd.DataFrame({"a": a, "k": c})


def lookup():
    # a fresh index: its hash table is built inside get_indexer, as the
    # keyed lookup builds its own
    index = pd.Index(keys.copy())
    index.get_indexer(sought)


time_cases([
    ("build", discarding(lambda: pd.DataFrame({"a": a, "b": b, "c": c, "d": d}))),
    ("select", discarding(lambda: frame[mask])),
    ("lookup", lookup),
    ("join", discarding(lambda: left.merge(small, how="left", on="k"))),
], REPEAT)
