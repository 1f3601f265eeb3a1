# Times pandas on the file csv_bench made: read_csv with the column types
# given (the date column parsed by its format) and to_csv of the frame.
# Prints one line per case: name and best milliseconds.
import sys, time
import pandas as pd

SOURCE, TARGET = sys.argv[1], sys.argv[2]
REPEAT = int(sys.argv[3]) if len(sys.argv) > 3 else 3
TYPES = {"i": "int64", "f": "float64", "s": "category", "d": "str", "t": "str"}


def read():
    df = pd.read_csv(SOURCE, dtype=TYPES, keep_default_na=False)
    df["d"] = pd.to_datetime(df["d"], format="%Y.%m.%d")
    return df


def best(f):
    t = float("inf")
    for _ in range(REPEAT):
        start = time.perf_counter()
        f()
        t = min(t, time.perf_counter() - start)
    return t * 1000


frame = read()
print("read %.1f" % best(read))
print("write %.1f" % best(lambda: frame.to_csv(TARGET, index=False, date_format="%Y.%m.%d")))
