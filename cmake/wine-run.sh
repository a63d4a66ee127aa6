#!/usr/bin/env bash
# Runs a Windows program under wine64 with a private prefix:
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# CTest and GoogleTest's test discovery use it as the cross-compiling
# emulator of the Windows x64 build. It works headless and as root: no
# display is used, no dialog is shown, and wine's own messages are silenced.
# The first call creates the prefix (under a lock, so that parallel calls
# wait for one creation); later calls find it ready.
set -euo pipefail

prefix=$1
shift

wine=${VELMORA_WINE:-}
if [ -z "$wine" ]; then
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      wine=$candidate
      break
    fi
  done
fi
if [ -z "$wine" ]; then
  echo "wine-run.sh: wine64 is not installed (Debian package wine64)" >&2
  exit 127
fi
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No installer dialogs for the .NET and HTML runtimes, which nothing here uses.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 || true
      [ -z "$wineserver" ] || "$wineserver" -w || true
    fi
  ) 9>"$prefix.lock"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "wine-run.sh: could not create the wine prefix $prefix" >&2
    exit 127
  fi
fi

# One wine server for a whole test run: it stays for 30 s after the last
# program has ended (instead of wine's default 3 s), then leaves by itself.
if [ -n "$wineserver" ]; then
  "$wineserver" -p30 >/dev/null 2>&1 || true
fi

# The program's output goes through files, not pipes: wine's background
# processes (started with the first program) inherit its output handles
# and keep them open after it has ended, so a caller reading a pipe to its
# end would wait for them. Windows programs end their lines with CR LF;
# the callers parse lines, so the CRs are dropped.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out" "$err"' EXIT
# A program that failed without writing anything to its output did not get
# to run: wine itself failed to start it (seen once, in a full test run on
# a loaded machine). Such a start is tried again, up to three times. A test
# program that ran always wrote something (it prints before it tests), so
# a failing test is never run twice.
status=0
for attempt in 1 2 3; do
  status=0
  "$wine" "$@" >"$out" 2>"$err" || status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ]; then
    break
  fi
  echo "wine-run.sh: $1 ended with status $status before writing anything (attempt $attempt of 3)" >&2
  [ -z "$wineserver" ] || "$wineserver" -p30 >/dev/null 2>&1 || true
done
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
exit "$status"
