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

# ctrpack reads its inputs as the real one does: the code, the interface
# description and, with -aot, the module must be regular files; a names
# file (the third of three, or of four with -aot) that does not exist packs
# as no names.
if [ "$tool" = ctrpack ] && [ "$status" = 0 ]; then
  count=0 aot= prev=
  for arg in "$@"; do
    case $arg in
      -o | -compress | -jit) ;;
      -aot) aot=1 ;;
      *) [ "$prev" = -o ] || count=$((count + 1)) ;;
    esac
    prev=$arg
  done
  names=0
  if [ -n "$aot" ]; then [ "$count" = 4 ] && names=3; else [ "$count" = 3 ] && names=3; fi
  i=0 prev=
  for arg in "$@"; do
    case $arg in
      -o | -compress | -jit | -aot) ;;
      *)
        if [ "$prev" != -o ]; then
          i=$((i + 1))
          if [ -f "$arg" ]; then
            :
          elif [ "$i" = "$names" ] && [ ! -e "$arg" ] && [ ! -L "$arg" ]; then
            echo "ctrpack: warning: $arg: No such file or directory; packing no names" >&2
          elif [ -e "$arg" ]; then
            echo "ctrpack: $arg: not a regular file" >&2
            status=1
          else
            echo "ctrpack: $arg: No such file or directory" >&2
            status=1
          fi
        fi
        ;;
    esac
    prev=$arg
  done
fi

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
