#!/bin/bash
# Fuzzes the frame-source protocol's reader with libFuzzer (clang), under
# ASan and UBSan. Usage: scripts/fuzz.sh [SECONDS] (default 600).
# Built into build-fuzz/; findings land in build-fuzz/findings/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=${1:-600}
out="$root/build-fuzz"
mkdir -p "$out/corpus" "$out/findings"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root/tests/fuzz/ReaderFuzz.cpp" \
  "$root/host/mirvale/protocol/MessageReader.cpp" "$root/host/mirvale/protocol/MirvaleProtocol.cpp" \
  -o "$out/reader_fuzz"
"$out/reader_fuzz" -max_total_time="$seconds" -max_len=4096 -artifact_prefix="$out/findings/" \
  -print_final_stats=1 "$out/corpus"
