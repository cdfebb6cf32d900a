#!/usr/bin/env bash
# Builds and runs every test twice: an ordinary build, then one under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

"$root/scripts/setup.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j "$jobs" --timeout 300)

# The decoder under libFuzzer: the seed corpus, then a bounded run.
if [ -f "$root/fuzz/run.sh" ]; then
  mkdir -p "$root/build-fuzz"
  if bash "$root/fuzz/run.sh" 30 >"$root/build-fuzz/run.log" 2>&1; then
    echo "Fuzzing the OSC decoder: no failure ($(grep -c '' "$root/build-fuzz/run.log") log lines in build-fuzz/run.log)"
  else
    tail -n 60 "$root/build-fuzz/run.log"
    echo "Fuzzing the OSC decoder failed"
    exit 1
  fi
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
BUILD_TYPE=Debug "$root/scripts/setup.sh" "$root/build-sanitize" -DSONAVANT_SANITIZE=ON -DSONAVANT_BENCH=OFF
(cd "$root/build-sanitize" && ctest --output-on-failure -j "$jobs" --timeout 600)
