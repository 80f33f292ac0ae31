#!/usr/bin/env bash
# Coverage-guided fuzzing of the image readers with libFuzzer, by hand:
#   tools/fuzz/run.sh png|bmp|dds|rle [seconds] [libFuzzer options...]
# Needs clang and libclang-rt-14-dev (apt-get install clang libclang-rt-14-dev)
# and a normal build in build/ (the rest of the core is linked from it). Seeds
# come from the test suite's fixture writers; the corpus grows in
# build-fuzz/corpus-<reader>/.
set -euo pipefail
cd "$(dirname "$0")/../.."
target=${1:?usage: run.sh png|bmp|dds|rle [seconds] [options]}
secs=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
case $target in png|bmp|dds|rle) ;; *) echo "unknown reader $target" >&2; exit 2;; esac
command -v clang++ >/dev/null || { echo "clang++ is missing" >&2; exit 2; }

cmake --build build -j4 --target flycore test_TEX >/dev/null
out=build-fuzz
mkdir -p "$out/corpus-$target" "$out/seeds"
# The fixture writers of the mutation loop drop their seeds here.
FLY_FUZZ_SEED_DIR="$PWD/$out/seeds" FLY_FUZZ_SECONDS=0 \
  build/tests/test_TEX --gtest_filter='TexFuzz.*' >/dev/null

bin=$out/tex_fuzz_$target
if [ ! -x "$bin" ] || [ -n "$(find src/TEX tests/TEX tools/fuzz -newer "$bin" -print -quit)" ]; then
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -DFLY_FUZZ_BODY=fuzz_"$target" -Isrc -Itests $(pkg-config --cflags libpng) \
    tools/fuzz/tex_fuzz.cpp src/TEX/*.cpp build/libflycore.a \
    $(pkg-config --libs libpng minizip libarchive) -lsquish -lz -lpthread -ldl \
    $(bt=$(gcc -print-file-name=libbacktrace.a); [ -e "$bt" ] && echo "$bt") \
    -o "$bin"
fi
# Seeds get a leading options byte of 0x0B (RGBA, auto alpha off, pow2 on).
for f in "$out/seeds/$target"/*; do
  [ -e "$f" ] || continue
  dst="$out/corpus-$target/seed-$(basename "$f")"
  [ -e "$dst" ] || { printf '\x0b'; cat "$f"; } > "$dst"
done
ASAN_OPTIONS=detect_leaks=0 "$bin" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=4096 \
  "$@" "$out/corpus-$target"
echo "corpus-$target: $(ls "$out/corpus-$target" | wc -l) inputs"
