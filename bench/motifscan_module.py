#!/usr/bin/python3
"""motifscan.count from Python on a 100 MB bytes message against the program
on the same task (the patterns and the message as its input file), and a
Counter fed the same message in 64 KiB chunks. Runs interleaved, best of RUNS,
in CPU seconds (user and system): on a shared machine they vary far less
than wall time.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/motifscan_module.py \
        [--program build/release/bin/motifscan] [--runs 5] [--megabytes 100]

Prints one Markdown row per shape: the program's time, count's and the
Counter's, and count's time over the program's (the target is 1.2 at most).
The counts of all three must agree."""
import argparse
import os
import resource
import subprocess
import tempfile
import time

import numpy as np

import motifscan


def random_bytes(rng, alphabet, size):
    return np.frombuffer(alphabet, dtype=np.uint8)[rng.integers(0, len(alphabet), size)].tobytes()


def shapes(rng, size):
    letters = b"ABCDEFGHIJKLMNOPQRSTUVWXYZ"

    def words(alphabet, count, low, high):
        return [random_bytes(rng, alphabet, int(rng.integers(low, high + 1))) for _ in range(count)]

    yield "DNA, 20 random 12-mers", words(b"ACGT", 20, 12, 12), random_bytes(rng, b"ACGT", size)
    yield "A-Z, 300 words of 5-10 letters", words(letters, 300, 5, 10), random_bytes(rng, letters, size)
    yield "A-Z, 3 words of 4 letters", words(letters, 3, 4, 4), random_bytes(rng, letters, size)
    yield "A-Z, 20,000 words of 6-8 letters", words(letters, 20_000, 6, 8), random_bytes(rng, letters, size)
    # Every byte a candidate: the filter hands over to its table.
    yield "AB, 40 words of 8-12 letters", words(b"AB", 40, 8, 12), random_bytes(rng, b"AB", size)


def children_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def time_program(program, path):
    with open(path, "rb") as stdin:
        start = children_seconds()
        out = subprocess.run([program], stdin=stdin, stdout=subprocess.PIPE, check=True).stdout
        return children_seconds() - start, int(out)


def time_count(patterns, message):
    start = time.process_time()
    count = motifscan.count(patterns, message)
    return time.process_time() - start, count


def time_counter(patterns, message, chunk=1 << 16):
    start = time.process_time()
    counter = motifscan.Counter(patterns)
    view = memoryview(message)
    for at in range(0, len(view), chunk):
        counter.feed(view[at:at + chunk])
    return time.process_time() - start, counter.count


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default="build/release/bin/motifscan")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--megabytes", type=int, default=100)
    args = parser.parse_args()
    rng = np.random.default_rng(19)
    print("| shape | program (CPU s) | motifscan.count (CPU s) | Counter, 64 KiB chunks (CPU s) | count / program |")
    print("|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as work:
        for name, words, message in shapes(rng, args.megabytes * 1_000_000):
            path = os.path.join(work, "task.in")
            with open(path, "wb") as task:
                task.write(b"1\n%d\n" % len(words) + b"\n".join(words) + b"\n" + message + b"\n")
            patterns = motifscan.Patterns(words)
            best = {"program": [], "count": [], "counter": []}
            counts = set()
            for _ in range(args.runs):
                for key, run in (("program", lambda: time_program(args.program, path)),
                                 ("count", lambda: time_count(patterns, message)),
                                 ("counter", lambda: time_counter(patterns, message))):
                    seconds, count = run()
                    best[key].append(seconds)
                    counts.add(count)
            if len(counts) != 1:
                raise SystemExit(f"{name}: the counts differ: {sorted(counts)}")
            program, count, counter = (min(best[key]) for key in ("program", "count", "counter"))
            print(f"| {name} ({counts.pop()} occurrences) | {program:.3f} | {count:.3f} | {counter:.3f} "
                  f"| **{count / program:.2f}** |", flush=True)


if __name__ == "__main__":
    main()
