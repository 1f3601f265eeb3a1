# Times pandas on the cases of text_table_bench, on the data it wrote: one
# line a row with the id, the float, the text and the permutation's item.
# The text column is an object column of Python strings.
import sys
import numpy as np
import pandas as pd
from peer_timing import argument, discarding, time_cases

SOURCE = sys.argv[1]
REPEAT = argument(2, 5)
raw = pd.read_csv(SOURCE, sep=" ", header=None, names=["id", "f", "t", "p"],
                  dtype={"id": "int64", "f": "float64", "t": "object", "p": "int64"},
                  keep_default_na=False)
frame = pd.DataFrame({"id": raw.id.to_numpy(), "f": raw.f.to_numpy(), "t": raw.t.to_numpy(dtype=object)})
p = raw.p.to_numpy()


def where():
    return frame.id[(frame.f < 0.5) & (frame.id > 100)]


def group():
    # the statement names its result column and gives a table keyed by id:
    # a frame indexed by id with the column s
    chosen = frame[frame.id < 1000]
    return chosen.groupby("id").agg(s=("f", "sum"))


time_cases([
    ("assign", discarding(lambda: frame.copy(deep=False))),
    ("column", discarding(lambda: frame["t"].copy(deep=False))),
    ("reorder", discarding(lambda: frame.take(p))),
    ("where", discarding(where)),
    ("group", discarding(group)),
    ("xkey", discarding(lambda: frame.set_index("id"))),
    ("sort", discarding(lambda: frame.sort_values("f"))),
], REPEAT)
