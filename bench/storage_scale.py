#!/usr/bin/env python3
"""ctrrun's cost per call against the size of the store: one read-only call
of the token example's `balance` action on a store of 10 entries and on one
of ENTRIES entries (default 1,000,000), in turn (small, large, small, ...).

A call reads the keys it touches and no others, so the two should cost about
the same: the target is a ratio large/small of at most 1.5.  Also prints what
importing the large store from the text format took, once.

usage: bench/storage_scale.py CTRRUN [entries] [runs]
       (zo++ is taken from CTRRUN's directory to build the container)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def write_text_store(path, entries):
    with open(path, "w") as f:
        f.write("{\n")
        for i in range(entries):
            f.write(f'  "{i:016x}": "{i * 7919 % 1000003:08x}"' + (",\n" if i + 1 < entries else "\n"))
        f.write("}\n")


def call(ctrrun, store, cwd):
    """The call's wall time and peak memory in KiB."""
    start = time.perf_counter()
    p = subprocess.Popen([ctrrun, "--storage=" + store, "token.ctrx", "balance",
                          '{"account": "bob"}'], cwd=cwd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    err = p.stderr.read()
    _, status, usage = os.wait4(p.pid, 0)
    elapsed = time.perf_counter() - start
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        sys.exit(f"{ctrrun}: status {p.returncode}: {err}")
    return elapsed, usage.ru_maxrss


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    ctrrun = os.path.abspath(sys.argv[1])
    entries = int(sys.argv[2]) if len(sys.argv) > 2 else 1000000
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 50
    with tempfile.TemporaryDirectory() as tmp:
        zoxx = os.path.join(os.path.dirname(ctrrun), "zo++")
        subprocess.run([zoxx, "-o", "token.ctrx", os.path.join(TOP, "examples/token/token.cpp")],
                       cwd=tmp, check=True)
        write_text_store(os.path.join(tmp, "small.json"), 10)
        write_text_store(os.path.join(tmp, "large.json"), entries)
        call(ctrrun, "small.json", tmp)
        imported, import_memory = call(ctrrun, "large.json", tmp)

        small, large, memory = [], [], {"small": 0, "large": 0}
        for _ in range(runs):
            for name, times in (("small", small), ("large", large)):
                elapsed, peak = call(ctrrun, name + ".json", tmp)
                times.append(elapsed)
                memory[name] = max(memory[name], peak)
        ratios = [l / s for s, l in zip(small, large)]
        size = os.path.getsize(os.path.join(tmp, "large.json"))
        print(f"store of {entries} entries: {size / 1e6:.1f} MB of text; imported in "
              f"{imported:.2f} s and {import_memory / 1024:.0f} MiB (once)")
        print(f"read-only call, 10 entries:      median {statistics.median(small) * 1e3:.2f} ms")
        print(f"read-only call, {entries} entries: median {statistics.median(large) * 1e3:.2f} ms")
        print(f"ratio large/small: median {statistics.median(ratios):.2f} "
              f"(min {min(ratios):.2f}, max {max(ratios):.2f}); target <= 1.5")
        print(f"peak memory of a call: {memory['small'] / 1024:.1f} MiB (10 entries), "
              f"{memory['large'] / 1024:.1f} MiB ({entries} entries)")


if __name__ == "__main__":
    main()
