#!/bin/bash
# Fuzzes every libFuzzer target (clang) under ASan and UBSan, one after the
# other: the frame-source protocol's reader, the phone's capability reply
# and the phone's image reply.
#
#   scripts/fuzz.sh [SECONDS]          each target SECONDS (default 600)
#   scripts/fuzz.sh --minutes N        each target N minutes
#   scripts/fuzz.sh ... --only NAME    one target (reader, phone_reply, phone_image)
#
# Built into build-fuzz/; each target's corpus grows in build-fuzz/corpus/NAME
# from the checked-in seeds in tests/fuzz/corpus/NAME (if any); findings land
# in build-fuzz/findings/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=600
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) seconds=$(( $2 * 60 )); shift ;;
    --only) only=$2; shift ;;
    --help|-h) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) seconds=$1 ;;
  esac
  shift
done
out="$root/build-fuzz"
mkdir -p "$out/findings"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root" -I"$root/src" -I"$root/include" -isystem /usr/include/rapidxml)
phone=("$root/src/smartphone/CapabilityReply.cpp" "$root/src/smartphone/ImageReplyReader.cpp"
       "$root/src/smartphone/JpegHeader.cpp" "$root/src/smartphone/PhoneCapabilities.cpp"
       "$root/src/smartphone/PhoneRange.cpp")

# name, the longest input, sources
run() {
  local name=$1 max_len=$2
  shift 2
  [ -n "$only" ] && [ "$only" != "$name" ] && return 0
  clang++ "${flags[@]}" "$@" -o "$out/${name}_fuzz"
  mkdir -p "$out/corpus/$name"
  local seeds=()
  [ -d "$root/tests/fuzz/corpus/$name" ] && seeds=("$root/tests/fuzz/corpus/$name")
  echo "== $name: $seconds s"
  "$out/${name}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -artifact_prefix="$out/findings/${name}-" \
    -print_final_stats=1 "$out/corpus/$name" "${seeds[@]}"
}

run reader 4096 "$root/tests/fuzz/ReaderFuzz.cpp" \
  "$root/host/mirvale/protocol/MessageReader.cpp" "$root/host/mirvale/protocol/MirvaleProtocol.cpp"
run phone_reply 1024 "$root/tests/fuzz/PhoneReplyFuzz.cpp" "${phone[@]}"
run phone_image 65536 "$root/tests/fuzz/PhoneImageFuzz.cpp" "${phone[@]}"
