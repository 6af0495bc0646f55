#!/usr/bin/env python3
"""Building the example contracts: zo++ against the tools it runs.

For each example, `zo++ -v -o x.wasm` shows the command lines it runs: the
clang-8 compile-and-link, binpolish, and ctrpack where the interface
description is written.  The benchmark then compares
  - the time of `zo++ -o x.wasm` with the time of those same command lines
    run one after another without it (target: within 2 %), and
  - the size of the module after binpolish with `wasm-opt -Oz` on the same
    unpolished module (target: no larger).

usage: bench/contract_build.py [--stage DIR] [--reps N] [SOURCE.cpp...]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def timed(argv, cwd, shell=False):
    start = time.perf_counter()
    subprocess.run(argv, cwd=cwd, check=True, shell=shell,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stage", default=os.path.join(top, "build/stage"))
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("sources", nargs="*", default=[
        os.path.join(top, "examples/hello/hello.cpp"),
        os.path.join(top, "examples/token/token.cpp")])
    args = parser.parse_args()
    bin_dir = os.path.join(args.stage, "bin")
    zo = os.path.join(bin_dir, "zo++")
    binpolish = os.path.join(bin_dir, "binpolish")
    wasm_opt = shutil.which("wasm-opt")

    print(f"{'contract':<12} {'zo++ s':>8} {'bare s':>8} {'time ratio':>10}"
          f" {'binpolish B':>12} {'wasm-opt B':>11} {'size ratio':>10}")
    with tempfile.TemporaryDirectory() as tmp:
        for source in args.sources:
            name = os.path.splitext(os.path.basename(source))[0]
            shown = subprocess.run([zo, "-v", "-o", "x.wasm", source], cwd=tmp, check=True,
                                   capture_output=True, text=True).stderr
            tool_lines = [line for line in shown.splitlines() if line.startswith(bin_dir + "/")]
            compile_line = tool_lines[0]

            driver_times, bare_times = [], []
            for _ in range(args.reps):
                driver_times.append(timed([zo, "-o", "x.wasm", source], tmp))
                bare_times.append(sum(timed(line, tmp, shell=True) for line in tool_lines))

            # The unpolished module, polished two ways.
            subprocess.run(compile_line, cwd=tmp, shell=True, check=True)
            raw = os.path.join(tmp, "x.wasm")
            polished = os.path.join(tmp, "polished.wasm")
            reference = os.path.join(tmp, "reference.wasm")
            shutil.copyfile(raw, polished)
            subprocess.run([binpolish, polished], check=True)
            subprocess.run([wasm_opt, "-Oz", "--strip-debug", "--strip-producers", raw,
                            "-o", reference], check=True)

            d, b = statistics.median(driver_times), statistics.median(bare_times)
            p, r = os.path.getsize(polished), os.path.getsize(reference)
            print(f"{name:<12} {d:>8.3f} {b:>8.3f} {d / b:>10.3f} {p:>12} {r:>11} {p / r:>10.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
