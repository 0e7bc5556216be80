#!/usr/bin/env bash
# Parse throughput of the MIME parser beside GMime 3 in the same run, on two
# inputs: the generated 10,000-message Maildir, and one message of 160,000
# parts (whose cost must stay linear in its parts). mime_probe -q and
# gmime_parse both read every file into memory before their clock starts,
# then parse each message (headers, all parts decoded, text converted to
# Unicode); three rounds alternating, best round of each with the ratio.
# Both must report the same number of attachments (checked).
#   bench/mime_parse_compare.sh [N]     (default 10000 messages)
# Needs libgmime-3.0-dev and pkg-config; builds mime_probe into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-10000}
PARTS=160000
WORK=$(mktemp -d /tmp/porlinex-mimebench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
# The reference corpus generator (deterministic for N and its seed).
/usr/bin/python3 "${GEN_CORPUS:-/work/shared/bench/gen_corpus.py}" "$WORK/mail" "$N" > "$WORK/corpus.json"
# One message of many small parts, as a Maildir of its own.
mkdir -p "$WORK/parts/cur"
/usr/bin/python3 - "$WORK/parts/cur/1" "$PARTS" <<'PY'
import sys
path, parts = sys.argv[1], int(sys.argv[2])
with open(path, "w", newline="") as f:
    f.write("From: a@example.org\r\nTo: b@example.org\r\nSubject: parts\r\nMIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nhello\r\n")
    for i in range(parts):
        f.write("--b\r\nContent-Type: application/octet-stream; name=\"f%d.bin\"\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\naGVsbG8gd29ybGQ=\r\n" % i)
    f.write("--b--\r\n")
PY
scripts/build.sh >/dev/null
cmake --build build --target mime_probe >/dev/null
cc -O2 -o "$WORK/gmime_parse" bench/mime_gmime_parse.c $(pkg-config --cflags --libs gmime-3.0)
rate() { sed -E 's/.* = ([0-9]+) msg\/s.*/\1/'; }
seconds() { sed -E 's/.* in ([0-9.]+) s = .*/\1/'; }
for input in mail parts; do
  ours=(); theirs=()
  for round in 1 2 3; do
    o=$(build/net/mime/tests/tools/mime_probe -q "$WORK/$input")
    g=$("$WORK/gmime_parse" "$WORK/$input")
    echo "$input round $round: $o"
    echo "$input round $round: $g"
    oa=$(sed -E 's/.* ([0-9]+) attachments.*/\1/' <<<"$o")
    ga=$(sed -E 's/.* ([0-9]+) other parts.*/\1/' <<<"$g")
    [[ $oa == "$ga" ]] || { echo "attachment counts differ: ours $oa, gmime $ga" >&2; exit 1; }
    ours+=("$(seconds <<<"$o")"); theirs+=("$(seconds <<<"$g")")
  done
  o=$(printf '%s\n' "${ours[@]}" | sort -g | head -1)
  g=$(printf '%s\n' "${theirs[@]}" | sort -g | head -1)
  echo "| $input | Porlinex mime_probe | GMime 3 | time ratio |"
  echo "|---|---:|---:|---:|"
  awk -v i="$input" -v o="$o" -v g="$g" 'BEGIN { printf "| %s | %.3f s | %.3f s | %.2f |\n", i, o, g, o / g }'
done
