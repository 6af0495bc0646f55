#!/usr/bin/env python3
"""ctrrun per call: one call of the token example's `balance` action, by
two ctrrun binaries in turn (A B A B ...), so that a change to the runner
is measured side by side with the runner before it.

Prints each binary's median wall time per call and the ratio A/B, and the
instructions each counted (they must agree).

usage: bench/ctrrun_call.py CTRRUN_A CTRRUN_B [runs]
       (zo++ is taken from A's directory to build the container)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def call(ctrrun, cwd):
    start = time.perf_counter()
    r = subprocess.run([ctrrun, "--storage=s.json", "token.ctrx", "balance",
                        '{"account": "bob"}'], cwd=cwd, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if r.returncode != 0:
        sys.exit(f"{ctrrun}: status {r.returncode}: {r.stderr}")
    return elapsed, r.stderr.strip().splitlines()[-1]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    a, b = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    with tempfile.TemporaryDirectory() as tmp:
        zoxx = os.path.join(os.path.dirname(a), "zo++")
        subprocess.run([zoxx, "-o", "token.ctrx", os.path.join(TOP, "examples/token/token.cpp")],
                       cwd=tmp, check=True)
        subprocess.run([a, "--storage=s.json", "token.ctrx", "create",
                        '{"issuer": "alice", "supply": 1000}'], cwd=tmp, check=True,
                       capture_output=True)
        times = {a: [], b: []}
        counts = {}
        for _ in range(runs):
            for exe in (a, b):
                t, count = call(exe, tmp)
                times[exe].append(t)
                counts[exe] = count
    ma, mb = statistics.median(times[a]), statistics.median(times[b])
    print(f"A {a}: {ma * 1000:.3f} ms per call ({counts[a]})")
    print(f"B {b}: {mb * 1000:.3f} ms per call ({counts[b]})")
    print(f"ratio A/B: {ma / mb:.3f}  ({runs} calls each, alternating)")


if __name__ == "__main__":
    main()
