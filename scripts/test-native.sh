#!/usr/bin/env bash
# Builds the portable code natively on Linux and runs its tests three ways:
# under AddressSanitizer + UndefinedBehaviorSanitizer, under ThreadSanitizer,
# and as a short run of every fuzz target (Clang's libFuzzer with ASan+UBSan).
# scripts/test.sh runs this after the Windows tests. Needs what
# scripts/setup.sh installs.
#
#   KELO_FUZZ_SECONDS=600 bash scripts/test-native.sh fuzz   # the long fuzz run
#   bash scripts/test-native.sh plain                        # also the benchmarks: build/native/plain/kelo_native_bench
set -euo pipefail
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KELO_BUILD_DIR:-$root/build}/native
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(asan tsan fuzz)
seconds=${KELO_FUZZ_SECONDS:-10}

status=0
for config in "${configs[@]}"; do
  dir="$out/$config"
  case "$config" in
    plain) args=() ;;
    asan) args=(-DKELO_SANITIZE=address,undefined) ;;
    tsan) args=(-DKELO_SANITIZE=thread) ;;
    fuzz) args=(-DKELO_FUZZ=ON -DKELO_FUZZ_SECONDS="$seconds" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14) ;;
    *) echo "unknown configuration $config (plain, asan, tsan, fuzz)" >&2; exit 2 ;;
  esac
  echo "[native] $config"
  cmake -S "$root/native" -B "$dir" -G Ninja "${args[@]}" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  # Sanitizer reports end the test program with an error; halt_on_error keeps
  # the first report readable.
  if ! (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --output-on-failure -j"$(nproc)"); then
    status=1
  fi
done
exit $status
