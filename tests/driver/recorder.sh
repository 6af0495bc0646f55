#!/bin/sh
# Stands in for an installed tool in the driver's tests.  It records the
# arguments it received (one file per run, NUL-separated, numbered in run
# order), writes a line to each stream, creates the files a real tool would
# leave for the driver's next stage, and exits with the status the test put
# in rec/<tool>.status.  rec/ lies beside the installation's bin/.
rec=$(dirname "$0")/../rec
tool=$(basename "$0")
n=$(ls "$rec/calls" | wc -l)
printf '%s\0' "$@" > "$rec/calls/$(printf %03d "$n")-$tool"
echo "[$tool stdout]"
echo "[$tool stderr]" >&2

status=$(cat "$rec/$tool.status" 2>/dev/null || echo 0)

# On success: the output named by -o and the interface description named by
# the first -plugin-arg-ifacewriter value.
if [ "$status" = 0 ] && [ ! -e "$rec/$tool.nofiles" ]; then
  out= abi= prev= prev2=
  for arg in "$@"; do
    [ "$prev" = "-o" ] && out=$arg
    [ "$prev2" = "-plugin-arg-ifacewriter" ] && [ -z "$abi" ] && abi=$arg
    prev2=$prev prev=$arg
  done
  [ -n "$out" ] && : > "$out"
  [ -n "$abi" ] && : > "$abi"
fi
# A polish that loses the module.
[ -e "$rec/$tool.remove-input" ] && rm -f "$1"
exit "$status"
