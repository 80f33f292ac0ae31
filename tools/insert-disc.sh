#!/bin/sh
# Puts demo disc N (1 or 2) into the simulated drive of `make run`, taking
# out whatever disc is in it.   tools/insert-disc.sh N [build folder]
set -e
n=${1:?usage: tools/insert-disc.sh N [build folder]}
build=${2:-build}
disc="$(cd "$build/demo/discs/disk_$((n - 1))" 2>/dev/null && pwd)" ||
  { echo "no demo disc $n in $build/demo/discs" >&2; exit 1; }
drive="$build/run/volumes"
mkdir -p "$drive"
find "$drive" -mindepth 1 -maxdepth 1 -exec rm -f {} +
ln -s "$disc" "$drive/FLYVANE9_$n"
echo "Disc $n is in the drive."
