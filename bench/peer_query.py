# Times sqlite3 (an in-memory database, rows already inserted) and pandas on
# the statements of query_bench, on data of the same shape: a symbol key of
# 1,000 values and two float columns. Prints one line per case: the case,
# the peer and the best milliseconds (for "small", milliseconds per
# statement on a three-row table).
import sqlite3, sys, time
import numpy as np

N = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 5
rng = np.random.default_rng(7)
keys = np.array(["k%d" % i for i in range(1000)])
k = keys[rng.integers(0, 1000, N)]
v = rng.random(N)
w = rng.random(N)


def best(fn, times=1):
    t = 1e300
    for _ in range(REPEAT):
        s = time.perf_counter()
        for _ in range(times):
            fn()
        t = min(t, (time.perf_counter() - s) / times)
    return t * 1e3


db = sqlite3.connect(":memory:")
db.execute("CREATE TABLE t (k TEXT, v REAL, w REAL)")
db.executemany("INSERT INTO t VALUES (?,?,?)", zip(k.tolist(), v.tolist(), w.tolist()))
db.execute("CREATE TABLE s (k TEXT, v REAL)")
db.executemany("INSERT INTO s VALUES (?,?)", [("a", 1.0), ("b", 2.0), ("c", 3.0)])
db.commit()
print("group sqlite3", best(lambda: db.execute("SELECT k,sum(v) FROM t GROUP BY k").fetchall()))
print("where sqlite3", best(lambda: db.execute("SELECT k,v,w FROM t WHERE v>0.5 AND w<0.2").fetchall()))
print("small sqlite3", best(lambda: db.execute("SELECT k,v FROM s WHERE v>1").fetchall(), 1000))

try:
    import pandas as pd
    frame = pd.DataFrame({"k": pd.Categorical(k), "v": v, "w": w})
    print("group pandas", best(lambda: frame.groupby("k", observed=True, sort=False)["v"].sum()))
    print("where pandas", best(lambda: frame[(frame.v > 0.5) & (frame.w < 0.2)]))
except ImportError:
    pass
