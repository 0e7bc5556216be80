#!/usr/bin/env bash
# First mirror, no-change pass and pass after 100 new messages: the mail
# library (bench_mirror_sync: store, attachments and full-text index built
# as it goes) beside mbsync's three syncs (a plain Maildir copy), one run
# each, same Dovecot, same corpus (/work/shared/bench gen_corpus.py and
# dovecot.sh). Prints seconds, ratios, peak RSS, rows against Dovecot's
# count and index coverage. Needs root, dovecot-imapd, isync, /usr/bin/time.
#   bench/mirror_compare.sh [N]   (default 20000)
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-20000}; TOTAL=$((N + 100)); REF=/work/shared/bench
T=$(mktemp -d /tmp/porlinex-mirrorbench-XXXXXX); chmod 755 "$T"
trap '"$REF/dovecot.sh" stop "$T/dovecot" >/dev/null 2>&1 || true; rm -rf "$T"' EXIT
BUILD_DIR=build-bench BUILD_TYPE=Release scripts/build.sh -DPORLINEX_BENCH=ON >/dev/null
/usr/bin/python3 "$REF/gen_corpus.py" "$T/corpus" "$TOTAL" --seed 1 > /dev/null
mkdir -p "$T/new-mail/cur"   # the 100 newest INBOX messages arrive later
ls "$T/corpus/cur" | sort | tail -n 100 | while read -r f; do mv "$T/corpus/cur/$f" "$T/new-mail/cur/"; done
"$REF/dovecot.sh" start "$T/dovecot" "$T/corpus" > /dev/null
source "$T/dovecot/dovecot.env"
doveadm -c "$CONF" mailbox status -u bench "messages" "*" > /dev/null   # Dovecot indexes first
export SSL_CERT_FILE="$T/dovecot/cert.pem" PORLINEX_ROOT="$T/porlinex"
mkdir -p "$T/mirror" "$PORLINEX_ROOT"
cat > "$T/mbsyncrc" <<RC
IMAPAccount bench
Host 127.0.0.1
Port $IMAPS_PORT
User bench
Pass bench
SSLType IMAPS
CertificateFile $T/dovecot/cert.pem

IMAPStore far
Account bench

MaildirStore near
Path $T/mirror/
Inbox $T/mirror/INBOX
SubFolders Verbatim

Channel bench
Far :far:
Near :near:
Patterns *
Create Near
Sync Pull
SyncState *
RC
# run NAME CMD...: wall seconds and peak RSS (MB) of one run into $T/NAME.time
run() {
  local name=$1; shift
  sync
  /usr/bin/time -f '%e %M' -o "$T/$name.time" "$@" > "$T/$name.out" 2> "$T/$name.err" ||
    { cat "$T/$name.err" >&2; echo "FAILED: $name" >&2; exit 1; }
}
ours() { run "$1" build-bench/bench/bench_mirror_sync "127.0.0.1:$IMAPS_PORT" bench bench; }
theirs() { run "$1" mbsync -c "$T/mbsyncrc" -a; }
theirs mbsync_first; ours ours_first
sleep 2
theirs mbsync_again; ours ours_again
for f in "$T/new-mail/cur"/*; do doveadm -c "$CONF" save -u bench -m INBOX < "$f"; done
sleep 2
theirs mbsync_new; ours ours_new
server=$(doveadm -c "$CONF" mailbox status -u bench messages "*" | awk -F= '{s += $2} END {print s}')
mirrored=$(find "$T/mirror" -type f \( -path '*/cur/*' -o -path '*/new/*' \) | wc -l)
echo "| step (N=$N) | mbsync s | Porlinex s | ratio | mbsync RSS MB | Porlinex RSS MB |"
echo "|---|---:|---:|---:|---:|---:|"
for step in first again new; do
  read -r ms mr < "$T/mbsync_$step.time"; read -r os orss < "$T/ours_$step.time"
  awk -v s="$step" -v ms="$ms" -v os="$os" -v mr="$mr" -v orss="$orss" \
    'BEGIN { printf "| %s | %.2f | %.2f | %.2f | %.0f | %.0f |\n", s, ms, os, os / (ms > 0 ? ms : 0.01), mr / 1024, orss / 1024 }'
done
read -r _ rows indexed total state < "$T/ours_new.out"
echo "- rows: Porlinex $rows, mbsync $mirrored, Dovecot $server; index covers $indexed of $total rows; last run $state"
# A ratio counts only when both sides mirrored every message.
[[ $rows == "$server" && $mirrored == "$server" && $indexed == "$total" && $state == done ]] ||
  { echo "FAILED: the two mirrors do not both hold Dovecot's $server messages" >&2; exit 1; }
