#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (in ./build-fuzz) and runs
# each for the given number of seconds, starting from fuzz/seeds and the kept
# inputs of earlier faults. A crash leaves its input as build-fuzz/crash-*;
# copy it into fuzz/regressions/<target>/ once it is fixed, so the ordinary
# test run replays it.
# Usage: tools/fuzz.sh [SECONDS per target, default 60] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_cache_index fuzz_regedit fuzz_ini fuzz_zip_listing fuzz_wine_registry fuzz_package_header fuzz_package_imports fuzz_uz2 fuzz_umod_directory fuzz_map_facts fuzz_texture)

# clang and its libFuzzer runtime (Debian packages).
for p in clang libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q clang libclang-rt-14-dev
    break
  fi
done

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSVANE_FUZZ=ON -DTESSVANE_GUI=OFF -DTESSVANE_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  echo "== $t for ${seconds}s"
  if ! build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix=build-fuzz/crash-"$t"- "$corpus" fuzz/seeds/"$t" fuzz/regressions/"$t" \
       2>build-fuzz/"$t".log; then
    status=1
    tail -40 build-fuzz/"$t".log
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build-fuzz/"$t".log || true
done
exit $status
