#!/usr/bin/env bash
# Runs every benchmark program of a build folder, one after another.
set -euo pipefail
build=${1:-build}
shopt -s nullglob
status=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
