#!/usr/bin/env bash
# Builds the OSC decode fuzzer with clang-14 (libFuzzer + AddressSanitizer + UBSan) straight
# from the OSCCore sources, runs it once over the seed corpus, then fuzzes for the given
# number of seconds (default 30, at most 60). Exits non-zero on any crash, leak or hang.
set -euo pipefail

seconds=${1:-30}
if ! [[ $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh [seconds, at most 60]" >&2
  exit 2
fi
(( seconds > 60 )) && seconds=60

root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
mkdir -p "$out/obj"

cxx=${CXX_FUZZ:-clang++-14}
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I"$root")
read -r -a icu <<<"$(pkg-config --cflags --libs icu-uc icu-i18n)"

# Objects go into an archive, so only what the decoder needs is linked (the address space
# and its platform dependencies stay out).
objects=()
for source in "$root"/OSCCore/*.cpp "$root"/platform/NumberText.cpp; do
  object="$out/obj/$(basename "${source%.cpp}").o"
  "$cxx" "${flags[@]}" -c "$source" -o "$object" &
  objects+=("$object")
done
wait
rm -f "$out/libOSCCore-fuzz.a"
ar rcs "$out/libOSCCore-fuzz.a" "${objects[@]}"
"$cxx" "${flags[@]}" -fsanitize=fuzzer "$root/fuzz/decode_fuzzer.cpp" "$out/libOSCCore-fuzz.a" "${icu[@]}" \
  -o "$out/decode_fuzzer"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Every seed once; then new inputs go to a scratch corpus, never into the repository.
"$out/decode_fuzzer" -runs=0 -artifact_prefix="$out/" "$root/fuzz/corpus"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$out/decode_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$out/" "$scratch" "$root/fuzz/corpus"
