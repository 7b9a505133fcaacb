#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a short, bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${VELMOR_FUZZ_SECONDS:-10}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, skipped" >&2
  exit 0
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
shopt -s nullglob
targets=(build/fuzz/tests/fuzz/fuzz_*)
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  corpus="build/fuzz/corpus/$(basename "$t")"
  mkdir -p "$corpus"
  echo "fuzz: $(basename "$t") for ${seconds}s"
  "$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 "$corpus" 2>"$corpus.log" \
    || { tail -n 40 "$corpus.log"; exit 1; }
done
echo "fuzz: ${#targets[@]} targets passed"
