# Times sqlite3 (an in-memory database, rows already inserted) and pandas on
# the statements of query_bench, on data of the same shape: a symbol key of
# 1,000 values and two float columns. Each case is reported per peer, as
# NAME_sqlite3 and NAME_pandas ("small": milliseconds per statement on a
# three-row table).
import sqlite3
import numpy as np
from peer_timing import argument, best_ms, discarding, report

N = argument(1, 1_000_000)
REPEAT = argument(2, 5)
rng = np.random.default_rng(7)
keys = np.array(["k%d" % i for i in range(1000)])
k = keys[rng.integers(0, 1000, N)]
v = rng.random(N)
w = rng.random(N)


def repeated(run, times):
    def call():
        for _ in range(times):
            run()
    return call


db = sqlite3.connect(":memory:")
db.execute("CREATE TABLE t (k TEXT, v REAL, w REAL)")
db.executemany("INSERT INTO t VALUES (?,?,?)", zip(k.tolist(), v.tolist(), w.tolist()))
db.execute("CREATE TABLE s (k TEXT, v REAL)")
db.executemany("INSERT INTO s VALUES (?,?)", [("a", 1.0), ("b", 2.0), ("c", 3.0)])
db.commit()
report("group_sqlite3", best_ms(discarding(lambda: db.execute("SELECT k,sum(v) FROM t GROUP BY k").fetchall()), REPEAT))
report("where_sqlite3", best_ms(discarding(lambda: db.execute("SELECT k,v,w FROM t WHERE v>0.5 AND w<0.2").fetchall()),
                                REPEAT))
report("small_sqlite3", best_ms(repeated(lambda: db.execute("SELECT k,v FROM s WHERE v>1").fetchall(), 1000), REPEAT) / 1000)

try:
    import pandas as pd
    frame = pd.DataFrame({"k": pd.Categorical(k), "v": v, "w": w})
    report("group_pandas", best_ms(discarding(lambda: frame.groupby("k", observed=True, sort=False)["v"].sum()), REPEAT))
    report("where_pandas", best_ms(discarding(lambda: frame[(frame.v > 0.5) & (frame.w < 0.2)]), REPEAT))
except ImportError:
    pass
