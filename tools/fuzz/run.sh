#!/usr/bin/env bash
# Coverage-guided fuzzing of the image readers and the scenery library reader
# with libFuzzer, by hand:
#   tools/fuzz/run.sh png|bmp|dds|rle|scenery [seconds] [libFuzzer options...]
# Needs clang and libclang-rt-14-dev (apt-get install clang libclang-rt-14-dev)
# and a normal build in build/. The reader is compiled again with the fuzzer's
# instrumentation; the rest of the core and every library come from the build,
# linked as CMake links a program on the core, so the line never falls behind.
# Seeds: the image readers' come from the test suite's fixture writers, the
# scenery reader's from tests/Files/library_seeds/. The corpus grows in
# build-fuzz/corpus-<reader>/; crash, leak and slow inputs are written to
# build-fuzz/artifacts-<reader>/.
set -euo pipefail
cd "$(dirname "$0")/../.."
target=${1:?usage: run.sh png|bmp|dds|rle|scenery [seconds] [options]}
secs=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
case $target in png|bmp|dds|rle|scenery) ;; *) echo "unknown reader $target" >&2; exit 2;; esac
command -v clang++ >/dev/null || { echo "clang++ is missing" >&2; exit 2; }

# The scenery benchmark links the core and nothing else: its link command
# names the libraries, after its output file, paths relative to build/.
probe=bench_scenery_bench
cmake --build build -j4 --target flycore $probe >/dev/null
link=build/CMakeFiles/$probe.dir/link.txt
[ -e "$link" ] || { echo "$link is missing (build/ is not a Makefile build)" >&2; exit 2; }
libs=()
state=0
read -ra words < "$link"
for w in "${words[@]}"; do
  if [ $state = 2 ]; then
    case $w in -* | /*) libs+=("$w") ;; *) libs+=("build/$w") ;; esac
  elif [ "$w" = -o ]; then
    state=1
  elif [ $state = 1 ]; then
    state=2  # the output file
  fi
done
[ ${#libs[@]} -gt 0 ] || { echo "no libraries found in $link" >&2; exit 2; }

out=build-fuzz
corpus=$out/corpus-$target
artifacts=$out/artifacts-$target
mkdir -p "$corpus" "$artifacts"
if [ "$target" = scenery ]; then
  bin=$out/scenery_fuzz
  srcs=(tools/fuzz/scenery_fuzz.cpp src/Files/io_locate.cpp src/OOPS_cpp/xmap.cpp)
  watch=(src/Files src/OOPS_cpp/xmap.cpp src/OOPS_cpp/xmap.h tests/Files tools/fuzz)
  defs=()
  for f in tests/Files/library_seeds/*; do
    dst="$corpus/seed-$(basename "$f")"
    [ -e "$dst" ] || cp "$f" "$dst"
  done
else
  cmake --build build -j4 --target test_TEX >/dev/null
  mkdir -p "$out/seeds"
  # The fixture writers of the mutation loop drop their seeds here.
  FLY_FUZZ_SEED_DIR="$PWD/$out/seeds" FLY_FUZZ_SECONDS=0 \
    build/tests/test_TEX --gtest_filter='TexFuzz.*' >/dev/null
  bin=$out/tex_fuzz_$target
  srcs=(tools/fuzz/tex_fuzz.cpp src/TEX/*.cpp)
  watch=(src/TEX tests/TEX tools/fuzz)
  defs=(-DFLY_FUZZ_BODY=fuzz_"$target")
  # Seeds get a leading options byte of 0x0B (RGBA, auto alpha off, pow2 on).
  for f in "$out/seeds/$target"/*; do
    [ -e "$f" ] || continue
    dst="$corpus/seed-$(basename "$f")"
    [ -e "$dst" ] || { printf '\x0b'; cat "$f"; } > "$dst"
  done
fi

if [ ! -x "$bin" ] || [ build/libflycore.a -nt "$bin" ] ||
   [ -n "$(find "${watch[@]}" -newer "$bin" -print -quit)" ]; then
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    "${defs[@]}" -Isrc -Itests $(pkg-config --cflags libpng) "${srcs[@]}" "${libs[@]}" -o "$bin"
fi
ASAN_OPTIONS=detect_leaks=0 "$bin" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=4096 \
  -artifact_prefix="$artifacts/" "$@" "$corpus"
echo "corpus-$target: $(ls "$corpus" | wc -l) inputs"
