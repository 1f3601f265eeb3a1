# Times numpy and pandas on the searches and sorts of search_bench, for
# comparison.
import numpy as np
import pandas as pd
from peer_timing import argument, best_ms, discarding, report, time_cases

N = argument(1, 1_000_000)
REPEAT = argument(2, 7)
rng = np.random.default_rng(7)
x = rng.integers(0, N, N, dtype=np.int64)
y = rng.integers(0, N, N, dtype=np.int64)
f = rng.random(N) * N
keys = rng.integers(0, 1000, N, dtype=np.int64)
unique_x = pd.unique(x)

# a fresh index each time, made untimed: its hash table is built inside
# get_indexer
report("index_of", best_ms(discarding(lambda index: index.get_indexer(y)), REPEAT,
                          setup=lambda: pd.Index(unique_x.copy())))
time_cases([
    ("member", discarding(lambda: np.isin(x, y))),
    ("grade_float", discarding(lambda: np.argsort(f, kind="stable"))),
    ("grade_int", discarding(lambda: np.argsort(x, kind="stable"))),
    ("distinct", discarding(lambda: pd.unique(x))),
    ("group", discarding(lambda: pd.Series(keys).groupby(keys).indices)),
], REPEAT)
