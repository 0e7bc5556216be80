#!/usr/bin/env bash
# Parse throughput of the MIME parser beside GMime 3 on the same generated
# Maildir, in the same run: mime_probe -q and gmime_parse each parse every
# message (headers, all parts decoded, text converted to Unicode), three
# rounds alternating, best round of each reported with the ratio.
#   bench/mime_parse_compare.sh [N]     (default 10000 messages)
# Needs libgmime-3.0-dev and pkg-config; builds mime_probe into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-10000}
WORK=$(mktemp -d /tmp/porlinex-mimebench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
# The reference corpus generator (deterministic for N and its seed).
/usr/bin/python3 "${GEN_CORPUS:-/work/shared/bench/gen_corpus.py}" "$WORK/mail" "$N" > "$WORK/corpus.json"
scripts/build.sh >/dev/null
cmake --build build --target mime_probe >/dev/null
cc -O2 -o "$WORK/gmime_parse" bench/mime_gmime_parse.c $(pkg-config --cflags --libs gmime-3.0)
best() { sort -g | tail -1; }
ours=(); theirs=()
for round in 1 2 3; do
  o=$(build/net/mime/tests/tools/mime_probe -q "$WORK/mail")
  g=$("$WORK/gmime_parse" "$WORK/mail")
  echo "round $round: $o"
  echo "round $round: $g"
  ours+=("$(sed -E 's/.* = ([0-9]+) msg\/s.*/\1/' <<<"$o")")
  theirs+=("$(sed -E 's/.* = ([0-9]+) msg\/s.*/\1/' <<<"$g")")
done
o=$(printf '%s\n' "${ours[@]}" | best)
g=$(printf '%s\n' "${theirs[@]}" | best)
echo "| parser | messages/s (best of 3) |"
echo "|---|---:|"
echo "| Porlinex mime_probe | $o |"
echo "| GMime 3 | $g |"
awk -v o="$o" -v g="$g" 'BEGIN { printf "ratio Porlinex/GMime: %.2f\n", o / g }'
