#!/usr/bin/env bash
# Builds the MIME parser's libFuzzer target with clang (address and
# undefined-behaviour sanitizers, coverage on every library) and runs it.
#   net/mime/tests/tools/fuzz_mime.sh [SECONDS]   (default 600)
# Needs clang (Debian package clang); not part of CI's normal run.
set -euo pipefail
cd "$(dirname "$0")/../../.."
BUILD_DIR=${BUILD_DIR:-build-fuzz}
SECONDS_TO_RUN=${1:-600}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPORLINEX_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD_DIR" --target mime_fuzz -j4
CORPUS="$BUILD_DIR/mime_fuzz_corpus"
mkdir -p "$CORPUS"
cp net/mime/tests/testdata/mime/*.eml "$CORPUS"/
"$BUILD_DIR/net/mime/tests/tools/mime_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=65536 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$BUILD_DIR/" -print_final_stats=1 "$CORPUS"
