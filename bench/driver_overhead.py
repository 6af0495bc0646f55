#!/usr/bin/env python3
"""Driver overhead: `zo++ -c a.cpp` with a recording compiler, against the
same recording compiler started directly with the same arguments.

Prints the medians, their ratio, and the driver's cost per run in
milliseconds: in all; beyond the /bin/sh through which every tool runs
(measured as `sh -c` with the same command line); and beyond both the shell
and the start of a process (a static program that does nothing), which is
what the driver's own work costs.  Target: under 2 ms of its own per run.

usage: bench/driver_overhead.py [path/to/zo++] [runs]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

NOTHING = "int main(void) { return 0; }\n"

RECORDER = r"""
#include <stdio.h>
int main(int argc, char **argv) {
  FILE *f = fopen("args.txt", "w");
  if (!f) return 1;
  for (int i = 1; i < argc; ++i) fprintf(f, "%s\n", argv[i]);
  return fclose(f) != 0;
}
"""


def timed(argv, cwd):
    start = time.perf_counter()
    subprocess.run(argv, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    driver = sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "build/stage/bin/zo++")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    with tempfile.TemporaryDirectory() as tmp:
        bin_dir = os.path.join(tmp, "bin")
        work = os.path.join(tmp, "work")
        os.makedirs(bin_dir)
        os.makedirs(work)
        shutil.copy2(driver, os.path.join(bin_dir, "zo++"))
        source = os.path.join(tmp, "recorder.c")
        with open(source, "w") as f:
            f.write(RECORDER)
        compiler = os.path.join(bin_dir, "clang-8")
        subprocess.run(["cc", "-O2", "-o", compiler, source], check=True)
        nothing = os.path.join(tmp, "nothing")
        with open(nothing + ".c", "w") as f:
            f.write(NOTHING)
        subprocess.run(["cc", "-O2", "-static", "-o", nothing, nothing + ".c"], check=True)

        through_driver = [os.path.join(bin_dir, "zo++"), "-c", "a.cpp"]
        subprocess.run(through_driver, cwd=work, check=True)
        with open(os.path.join(work, "args.txt")) as f:
            direct = [compiler] + f.read().splitlines()

        through_shell = ["/bin/sh", "-c", " ".join(direct) + " "]

        for _ in range(20):  # warm the caches
            timed(through_driver, work)
            timed(direct, work)
        driver_times, direct_times, shell_times, start_times = [], [], [], []
        for _ in range(runs):
            driver_times.append(timed(through_driver, work))
            direct_times.append(timed(direct, work))
            shell_times.append(timed(through_shell, work))
            start_times.append(timed([nothing], work))

    d = statistics.median(driver_times)
    c = statistics.median(direct_times)
    print(f"runs: {runs}")
    print(f"median through zo++:   {d * 1000:.3f} ms")
    print(f"median compiler alone:  {c * 1000:.3f} ms")
    sh = statistics.median(shell_times)
    print(f"median through /bin/sh: {sh * 1000:.3f} ms")
    print(f"ratio zo++ / compiler alone: {d / c:.2f}")
    print(f"overhead per run, in all: {(d - c) * 1000:.3f} ms")
    start = statistics.median(start_times)
    print(f"median process start:   {start * 1000:.3f} ms")
    print(f"overhead per run, beyond the shell: {(d - sh) * 1000:.3f} ms")
    print(f"overhead per run, beyond the shell and a process start: "
          f"{(d - sh - start) * 1000:.3f} ms (target: under 2 ms)")


if __name__ == "__main__":
    main()
