# The CPython peer of loop_bench: the same loops as plain functions, timed
# best of `repeat`. Prints one line per case: name and best milliseconds.
import sys, time

N = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
REPEAT = int(sys.argv[2]) if len(sys.argv) > 2 else 5


def count(n):
    i = 0
    while i < n:
        i += 1
    return i


def bump(v):
    i = 0
    n = len(v)
    while i < n:
        v[i] = v[i] + 1
        i += 1
    return v[-1]


def best(f, make):
    t_best = float("inf")
    for _ in range(REPEAT):
        arg = make()
        t = time.perf_counter()
        f(arg)
        t_best = min(t_best, time.perf_counter() - t)
    return t_best * 1000


print(f"while_loop {best(count, lambda: N):.2f}")
print(f"index_loop {best(bump, lambda: list(range(N))):.2f}")
