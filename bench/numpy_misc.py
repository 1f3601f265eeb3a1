# Times numpy on the cases of misc_bench: random integers, a sample without
# replacement, the inverse of a float matrix and the text of a float
# vector. Prints one line per case: name and best milliseconds.
# array2string's time grows with the square of the items (about 8 s for
# 100,000 floats): the 1,000,000-item text is timed only when the second
# argument is "full", and then once.
import sys, time
import numpy as np

REPEAT = int(sys.argv[1]) if len(sys.argv) > 1 else 5
FULL = len(sys.argv) > 2 and sys.argv[2] == "full"
rng = np.random.default_rng(7)
matrix = rng.random((500, 500)) + np.eye(500) * 10
floats = rng.random(1_000_000) * 1000 - 500
text = lambda a: np.array2string(a, threshold=sys.maxsize)

cases = [
    ("roll", lambda: rng.integers(1, 101, size=10_000_000)),
    ("deal", lambda: rng.choice(10_000_000, 1_000_000, replace=False)),
    ("inverse", lambda: np.linalg.inv(matrix)),
    ("format_100k", lambda: text(floats[:100_000])),
] + ([("format", lambda: text(floats))] if FULL else [])
for name, f in cases:
    best = float("inf")
    for _ in range(REPEAT if not name.startswith("format") else 1):
        t = time.perf_counter()
        r = f()
        best = min(best, time.perf_counter() - t)
        del r
    print(f"{name} {best * 1000:.2f}")
