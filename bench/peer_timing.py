# What the peer scripts share: their arguments, best-of-N timing and the
# lines the benchmarks read, one a case: its name and best milliseconds.
import sys
import time


def argument(position, default, kind=int):
    """sys.argv[position] as `kind`, or `default` when it is not given."""
    return kind(sys.argv[position]) if len(sys.argv) > position else default


def best_ms(run, repeat, setup=None):
    """The best of `repeat` calls of run() in milliseconds. With `setup`,
    run(setup()) is called and only run is timed. Each result is dropped
    before the next call, outside the timing."""
    best = float("inf")
    for _ in range(repeat):
        made = setup() if setup else None
        start = time.perf_counter()
        result = run(made) if setup else run()
        best = min(best, time.perf_counter() - start)
        del result, made
    return best * 1000


def discarding(run):
    """run, its result given up inside the timing (as Vek's assignment
    gives up the value it replaces)."""
    def call(*made):
        run(*made)
    return call


def report(name, ms):
    print(f"{name} {ms:.3f}", flush=True)


def time_cases(cases, repeat):
    """Times each (name, run) pair and reports it."""
    for name, run in cases:
        report(name, best_ms(run, repeat))
