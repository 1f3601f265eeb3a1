# Times numpy on the cases of misc_bench: random integers, a sample without
# replacement, the inverse of a float matrix and the text of a float vector.
# array2string's time grows with the square of the items (about 8 s for
# 100,000 floats): the texts are timed once, and the 1,000,000-item one
# only when the second argument is "full".
import sys
import numpy as np
from peer_timing import argument, time_cases

REPEAT = argument(1, 5)
FULL = argument(2, "", str) == "full"
rng = np.random.default_rng(7)
matrix = rng.random((500, 500)) + np.eye(500) * 10
floats = rng.random(1_000_000) * 1000 - 500
text = lambda a: np.array2string(a, threshold=sys.maxsize)

time_cases([
    ("roll", lambda: rng.integers(1, 101, size=10_000_000)),
    ("deal", lambda: rng.choice(10_000_000, 1_000_000, replace=False)),
    ("inverse", lambda: np.linalg.inv(matrix)),
], REPEAT)
time_cases([("format_100k", lambda: text(floats[:100_000]))] + ([("format", lambda: text(floats))] if FULL else []), 1)
