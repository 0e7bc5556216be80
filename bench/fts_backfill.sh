#!/usr/bin/env bash
# The full-text index on the reference corpus, beside `notmuch new` on the
# same Maildir, in one run:
#   1. load every message through the MIME parser into EMAIL_MESSAGES with no
#      index, then the backfill to its end (batches of 100, timed without the
#      worker's 200 ms pauses, which are added up separately);
#   2. the same load with the index's triggers in place;
#   3. `notmuch new` on the same Maildir (its first index).
# Page cache warmed before each; every tool reads the files itself.
#   bench/fts_backfill.sh [N]       (default 20000 messages)
# Needs notmuch (bench only) and a Release build with -DPORLINEX_BENCH=ON in
# build-bench/ (made here).
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-20000}
WORK=$(mktemp -d /tmp/porlinex-ftsbench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export TZ=UTC
/usr/bin/python3 "${GEN_CORPUS:-/work/shared/bench/gen_corpus.py}" "$WORK/mail" "$N" > "$WORK/corpus.json"
BUILD_DIR=build-bench BUILD_TYPE=Release scripts/build.sh -DPORLINEX_BENCH=ON >/dev/null
DRIVER=build-bench/bench/bench_fts_backfill_load
warm() { find "$WORK/mail" -type f -exec cat {} + > /dev/null; }
files=$(find "$WORK/mail" -type f -path '*/cur/*' | wc -l)

run() {  # MODE -> key=value lines of the driver, exit status checked
  mkdir -p "$WORK/$1"; warm
  PORLINEX_ROOT="$WORK/$1" "$DRIVER" "$1" "$WORK/mail" > "$WORK/$1.out" || { cat "$WORK/$1.out" >&2; exit 1; }
}
val() { sed -n "s/^$2=//p" "$WORK/$1.out"; }
run backfill
run triggers

cat > "$WORK/notmuch-config" <<NM
[database]
path=$WORK/mail
[user]
name=Bench
primary_email=bench@example.org
[new]
tags=unread;inbox;
NM
export NOTMUCH_CONFIG=$WORK/notmuch-config
warm
/usr/bin/time -v -o "$WORK/notmuch.time" notmuch new > /dev/null 2>&1
nm_s=$(awk -F': ' '/Elapsed/ {n = split($2, a, ":"); for (i = 1; i <= n; i++) w = w * 60 + a[i]} END {print w}' "$WORK/notmuch.time")
nm_rss=$(awk -F': ' '/Maximum resident/ {printf "%.1f", $2 / 1024}' "$WORK/notmuch.time")
nm_count=$(notmuch count '*')
[ "$nm_count" -eq "$files" ] || { echo "notmuch indexed $nm_count of $files messages" >&2; exit 1; }

b_load=$(val backfill load_s); b_fill=$(val backfill backfill_s); batches=$(val backfill batches)
t_load=$(val triggers load_s)
echo "| step ($files messages, $(du -sm "$WORK/mail" | cut -f1) MB) | time s | rows/s | peak RSS MB |"
echo "|---|---:|---:|---:|"
echo "| load without the index | $b_load | $(awk -v n="$files" -v t="$b_load" 'BEGIN{printf "%.0f", n/t}') | $(val backfill peak_rss_mb) |"
echo "| backfill to the end (batches of 100, no pauses) | $b_fill | $(val backfill rows_per_s) | (same process) |"
echo "| load with the triggers in place | $t_load | $(val triggers rows_per_s) | $(val triggers peak_rss_mb) |"
echo "| notmuch new (first index) | $nm_s | $(awk -v n="$files" -v t="$nm_s" 'BEGIN{printf "%.0f", n/t}') | $nm_rss |"
echo
awk -v b="$batches" -v f="$b_fill" 'BEGIN{printf "- the worker adds %d pauses of 200 ms: %.1f s of backfill in the background\n", b, f + b * 0.2}'
awk -v l="$b_load" -v f="$b_fill" -v t="$t_load" -v n="$nm_s" 'BEGIN{
  printf "- ratio (load + backfill) / notmuch new: %.3f\n", (l + f) / n
  printf "- ratio (load with triggers) / notmuch new: %.3f\n", t / n }'
echo "- checks: ours indexed $(val backfill indexed)/$(val backfill total) and $(val triggers indexed)/$(val triggers total); notmuch counts $nm_count of $files"
