# The CPython peer of while_loop: the same loops as plain functions, each
# call given a fresh argument.
from peer_timing import argument, best_ms, report

N = argument(1, 1_000_000)
REPEAT = argument(2, 5)


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


report("while_loop", best_ms(count, REPEAT, setup=lambda: N))
report("index_loop", best_ms(bump, REPEAT, setup=lambda: list(range(N))))
