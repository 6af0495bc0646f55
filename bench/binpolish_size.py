#!/usr/bin/env python3
"""Module size after binpolish, against wasm-opt -Oz with debug info and
producers stripped, for each module given.

Each module is copied twice: binpolish polishes one copy in place, wasm-opt
writes the other.  Prints both sizes and their ratio binpolish/wasm-opt per
module, and the ratio of the totals.  Target: a ratio of at most 1.0.

usage: bench/binpolish_size.py [--binpolish PATH] [--wasm-opt PATH] MODULE.wasm...
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binpolish", default=os.path.join(top, "build/stage/bin/binpolish"))
    parser.add_argument("--wasm-opt", default=shutil.which("wasm-opt") or "wasm-opt")
    parser.add_argument("modules", nargs="+")
    args = parser.parse_args()

    print(f"{'module':<40} {'input':>9} {'binpolish':>10} {'wasm-opt':>9} {'ratio':>7}")
    total_polished = total_reference = 0
    with tempfile.TemporaryDirectory() as tmp:
        for index, module in enumerate(args.modules):
            polished = os.path.join(tmp, f"{index}-binpolish.wasm")
            reference = os.path.join(tmp, f"{index}-wasm-opt.wasm")
            shutil.copyfile(module, polished)
            subprocess.run([args.binpolish, polished], check=True)
            subprocess.run([args.wasm_opt, "-Oz", "--strip-debug", "--strip-producers",
                            module, "-o", reference], check=True)
            size = os.path.getsize(polished)
            reference_size = os.path.getsize(reference)
            total_polished += size
            total_reference += reference_size
            name = os.path.basename(module)
            print(f"{name:<40} {os.path.getsize(module):>9} {size:>10} {reference_size:>9}"
                  f" {size / reference_size:>7.3f}")
    print(f"{'total':<40} {'':>9} {total_polished:>10} {total_reference:>9}"
          f" {total_polished / total_reference:>7.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
