#!/usr/bin/env python3
"""Compile-time cost of the entryhooks plug-in.

Generates one large translation unit (20,000 functions, one of them `apply`)
and compiles it for wasm32 at -O2 with the legacy pass manager, with and
without the plug-in loaded, alternating the two so that drift on the machine
hits both alike. Prints the medians and their ratio. The figure is CPU time
(user + system) of the compiler process, which other load on the machine
disturbs less than wall time; wall time is printed too. Compile times on a
busy machine vary by a few percent, more than the plug-in costs, so it also
prints the time that the pass manager charges to the pass itself.

With --callgrind the two compiles run once each under valgrind's callgrind,
which counts the instructions executed: the same count for the same
compile whatever else the machine does, so the ratio of the counts shows a
difference far below the noise of timings. Use it with fewer functions (a
20,000-function compile takes many minutes under valgrind); the plug-in's
cost per function does not depend on their number.

Usage: entryhooks_overhead.py [PLUGIN] [--reps N] [--functions N] [--clang PATH]
                              [--callgrind]
"""

import argparse
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def generate(path, functions):
    """Writes a C source of `functions` small functions, each calling the one
    before it, and `apply` last."""
    lines = ['int state[64];', '']
    for i in range(functions - 1):
        callee = f'f{i - 1}(x ^ {i})' if i else 'x'
        lines += [
            f'__attribute__((noinline)) int f{i}(int x) {{',
            f'  int acc = {callee} * {i % 13 + 1};',
            f'  if (acc > {i})',
            f'    return acc - state[x & 63];',
            f'  state[{i} & 63] = acc;',
            f'  return acc + {i};',
            '}',
        ]
    lines += [
        'int apply(int action) {',
        '  int sum = 0;',
        f'  for (int i = 0; i < 8; ++i)',
        f'    sum += f{functions - 2}(action + i);',
        '  return sum;',
        '}',
    ]
    path.write_text('\n'.join(lines) + '\n')


def compile_command(clang, source, output, plugin):
    cmd = [clang, '--target=wasm32', '-O2', '-flegacy-pass-manager', '-c',
           str(source), '-o', str(output)]
    if plugin:
        cmd[1:1] = ['-Xclang', '-load', '-Xclang', str(plugin)]
    return cmd


def compile_once(clang, source, output, plugin):
    """Runs one compile; returns (cpu seconds, wall seconds)."""
    cmd = compile_command(clang, source, output, plugin)
    start = time.perf_counter()
    proc = subprocess.Popen(cmd)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f'compile failed: {" ".join(cmd)}')
    return usage.ru_utime + usage.ru_stime, wall


def instructions(clang, source, output, plugin, tmp):
    """Runs one compile under callgrind; returns the instructions executed."""
    counts = tmp / 'callgrind.out'
    cmd = ['valgrind', '--tool=callgrind', f'--callgrind-out-file={counts}'] + \
        compile_command(clang, source, output, plugin)
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit(f'compile failed: {" ".join(cmd)}\n{proc.stderr}')
    match = re.search(r'^summary: (\d+)', counts.read_text(), re.MULTILINE)
    if not match:
        sys.exit(f'{counts}: no summary line')
    return int(match.group(1))


def pass_cpu_seconds(clang, source, output, plugin):
    """Compiles once with -ftime-report; returns the CPU time that the pass
    manager charged to the pass itself, over all 20,000 functions."""
    cmd = compile_command(clang, source, output, plugin) + ['-ftime-report']
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit(f'compile failed: {" ".join(cmd)}\n{proc.stderr}')
    for line in proc.stderr.splitlines():
        if line.rstrip().endswith('Instrument the apply function'):
            # user, system, user+system, wall: each "seconds (percent)".
            return float(re.findall(r'([0-9.]+) \(', line)[2])
    sys.exit('the pass is missing from the -ftime-report output')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('plugin', nargs='?',
                        default=ROOT / 'build/stage/bin/entryhooks.so',
                        type=pathlib.Path)
    parser.add_argument('--reps', type=int, default=5,
                        help='compiles with and without the plug-in each')
    parser.add_argument('--functions', type=int, default=20000)
    parser.add_argument('--clang', default='clang-14')
    parser.add_argument('--callgrind', action='store_true',
                        help='count instructions instead of timing')
    args = parser.parse_args()
    if not args.plugin.is_file():
        sys.exit(f'{args.plugin}: no such plug-in; build the entryhooks target')

    with tempfile.TemporaryDirectory() as tmp:
        tmp = pathlib.Path(tmp)
        source = tmp / 'contract.c'
        generate(source, args.functions)

        # An untimed compile warms the caches, shows that the plug-in really
        # instruments apply, and gives the pass's own share of the time.
        pass_cpu = pass_cpu_seconds(args.clang, source, tmp / 'hooked.o',
                                    args.plugin)
        symbols = subprocess.run(['llvm-nm-14', '--undefined-only',
                                  str(tmp / 'hooked.o')],
                                 capture_output=True, text=True).stdout
        if '__wasm_call_ctors' not in symbols:
            sys.exit('the plug-in did not instrument apply')

        if args.callgrind:
            plain = instructions(args.clang, source, tmp / 'plain.o', None, tmp)
            hooked = instructions(args.clang, source, tmp / 'hooked.o', args.plugin, tmp)
            print(f'{args.functions} functions, clang -O2 -flegacy-pass-manager '
                  f'--target=wasm32, instructions executed (callgrind)')
            print(f'without plug-in: {plain}')
            print(f'with plug-in:    {hooked}')
            print(f'ratio: {hooked / plain:.5f} ({(hooked / plain - 1) * 100:+.3f}%)')
            print(f'the pass itself (-ftime-report): {pass_cpu:.4f} s cpu')
            return

        times = {False: [], True: []}
        for rep in range(args.reps):
            # Alternate which kind goes first as well.
            for hooked in ((False, True) if rep % 2 == 0 else (True, False)):
                out = tmp / ('hooked.o' if hooked else 'plain.o')
                times[hooked].append(compile_once(
                    args.clang, source, out, args.plugin if hooked else None))

    print(f'{args.functions} functions, {args.reps} compiles each, '
          f'clang -O2 -flegacy-pass-manager --target=wasm32')
    for hooked in (False, True):
        print('with plug-in:   ' if hooked else 'without plug-in:',
              ' '.join(f'{cpu:.2f}/{wall:.2f}' for cpu, wall in times[hooked]),
              '(cpu/wall s)')
    # Each pair ran back to back, so its ratio cancels slow drift.
    pairs = [h[0] / p[0] for p, h in zip(times[False], times[True])]

    def medians(runs):
        return (statistics.median(r[0] for r in runs),
                statistics.median(r[1] for r in runs))

    plain_cpu, plain_wall = medians(times[False])
    hooked_cpu, hooked_wall = medians(times[True])
    print(f'without plug-in: median cpu {plain_cpu:.3f} s, wall {plain_wall:.3f} s')
    print(f'with plug-in:    median cpu {hooked_cpu:.3f} s, wall {hooked_wall:.3f} s')
    print(f'ratio (cpu):  {hooked_cpu / plain_cpu:.4f} '
          f'({(hooked_cpu / plain_cpu - 1) * 100:+.2f}%)')
    print(f'ratio (wall): {hooked_wall / plain_wall:.4f} '
          f'({(hooked_wall / plain_wall - 1) * 100:+.2f}%)')
    print(f'median of paired cpu ratios: {statistics.median(pairs):.4f}')
    print(f'the pass itself (-ftime-report): {pass_cpu:.4f} s cpu, '
          f'{pass_cpu / plain_cpu * 100:.3f}% of a compile')


if __name__ == '__main__':
    main()
