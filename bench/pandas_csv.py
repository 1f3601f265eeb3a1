# Times pandas on the file csv_bench made: read_csv with the column types
# given (the date column parsed by its format) and to_csv of the frame.
import sys
import pandas as pd
from peer_timing import argument, discarding, time_cases

SOURCE, TARGET = sys.argv[1], sys.argv[2]
REPEAT = argument(3, 3)
TYPES = {"i": "int64", "f": "float64", "s": "category", "d": "str", "t": "str"}


def read():
    df = pd.read_csv(SOURCE, dtype=TYPES, keep_default_na=False)
    df["d"] = pd.to_datetime(df["d"], format="%Y.%m.%d")
    return df


frame = read()
time_cases([
    ("read", discarding(read)),
    ("write", lambda: frame.to_csv(TARGET, index=False, date_format="%Y.%m.%d")),
], REPEAT)
