#!/usr/bin/env python3
"""Dispatch by action count: contracts of 10, 100 and 1000 actions, each
action `aI(uint32 x)` returning x + I, built by zo++ and called by ctrrun.

Prints, per count, the build time and the instructions of one call of the
first and of the last action (exact counts, so one run each).

usage: bench/dispatch.py STAGE_BIN [counts...]
       (STAGE_BIN holds zo++ and ctrrun, e.g. build/stage/bin)
"""
import os
import subprocess
import sys
import tempfile
import time


def source(count):
    lines = ["#include <corvane/actions.hpp>"]
    lines += [f"uint32_t a{i}(uint32_t x) {{ return x + {i}; }}" for i in range(count)]
    lines.append("CORVANE_ACTIONS(" + ", ".join(f"a{i}" for i in range(count)) + ")")
    return "\n".join(lines) + "\n"


def instructions(ctrrun, container, action, cwd):
    r = subprocess.run([ctrrun, container, action, '{"x": 1}'], cwd=cwd, capture_output=True,
                       text=True)
    if r.returncode != 0:
        sys.exit(f"{action}: status {r.returncode}: {r.stderr}")
    return int(r.stderr.strip().splitlines()[-1].split(": ")[1])


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    stage = os.path.abspath(sys.argv[1])
    counts = [int(c) for c in sys.argv[2:]] or [10, 100, 1000]
    zoxx, ctrrun = os.path.join(stage, "zo++"), os.path.join(stage, "ctrrun")
    print(f"{'actions':>8} {'build s':>8} {'first':>8} {'last':>8}")
    with tempfile.TemporaryDirectory() as tmp:
        for count in counts:
            cpp, ctrx = f"many{count}.cpp", f"many{count}.ctrx"
            with open(os.path.join(tmp, cpp), "w") as f:
                f.write(source(count))
            start = time.perf_counter()
            subprocess.run([zoxx, "-o", ctrx, cpp], cwd=tmp, check=True)
            built = time.perf_counter() - start
            first = instructions(ctrrun, ctrx, "a0", tmp)
            last = instructions(ctrrun, ctrx, f"a{count - 1}", tmp)
            print(f"{count:>8} {built:>8.2f} {first:>8} {last:>8}")


if __name__ == "__main__":
    main()
