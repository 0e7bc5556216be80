#!/usr/bin/env bash
# First mirror, no-change pass and pass after 100 new messages: the mail
# library (bench_mirror_sync: store, attachments and full-text index built
# as it goes) beside mbsync (a plain Maildir copy) with its default
# "FSync yes" (an fsync per message file) and with "FSync no", same Dovecot,
# same corpus (/work/shared/bench gen_corpus.py and dovecot.sh). Each round
# starts all three from empty and runs every step in a rotating order; the
# table gives the median of the rounds, peak RSS, and the sizes on disk of
# the last round. Fails unless every side holds Dovecot's messages and the
# index covers every row. Needs root, dovecot-imapd, isync, /usr/bin/time.
#   [CORPUS=dir] bench/mirror_compare.sh [N] [ROUNDS]   (default 20000, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-20000}; ROUNDS=${2:-3}; TOTAL=$((N + 100)); REF=/work/shared/bench
T=$(mktemp -d /tmp/porlinex-mirrorbench-XXXXXX); chmod 755 "$T"
trap '"$REF/dovecot.sh" stop "$T/dovecot" >/dev/null 2>&1 || true; rm -rf "$T"' EXIT
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPORLINEX_BENCH=ON >/dev/null
cmake --build build-bench --target bench_mirror_sync >/dev/null
# CORPUS: a corpus made before by gen_corpus.py with N + 100 messages and
# seed 1 (copied, so it is left as it was); else one is made here.
if [[ -n ${CORPUS:-} ]]; then cp -a "$CORPUS" "$T/corpus"
else /usr/bin/python3 "$REF/gen_corpus.py" "$T/corpus" "$TOTAL" --seed 1 > /dev/null; fi
mkdir -p "$T/new-mail/cur"   # the 100 newest INBOX messages arrive later
ls "$T/corpus/cur" | sort | tail -n 100 | while read -r f; do mv "$T/corpus/cur/$f" "$T/new-mail/cur/"; done
"$REF/dovecot.sh" start "$T/dovecot" "$T/corpus" > /dev/null
source "$T/dovecot/dovecot.env"
doveadm -c "$CONF" mailbox status -u bench "messages" "*" > /dev/null   # Dovecot indexes first
export SSL_CERT_FILE="$T/dovecot/cert.pem" PORLINEX_ROOT="$T/porlinex"
# mbsyncrc MODE FSYNC: a configuration mirroring into $T/MODE
mbsyncrc() {
  cat <<RC
FSync $2

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
Path $T/$1/
Inbox $T/$1/INBOX
SubFolders Verbatim

Channel bench
Far :far:
Near :near:
Patterns *
Create Near
Sync Pull
SyncState *
RC
}
mbsyncrc mbsync yes > "$T/mbsync.rc"
mbsyncrc mbsyncnf no > "$T/mbsyncnf.rc"
# run NAME CMD...: wall seconds and peak RSS (KB) of one run into $T/NAME.time
# (the clock read around it: time's own is in hundredths)
run() {
  local name=$1; shift
  sync
  local a=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$T/$name.rss" "$@" > "$T/$name.out" 2> "$T/$name.err" ||
    { cat "$T/$name.err" >&2; echo "FAILED: $name" >&2; exit 1; }
  local b=$EPOCHREALTIME
  echo "$(echo "$b - $a" | bc -l) $(cat "$T/$name.rss")" > "$T/$name.time"
}
ours() { run "$1" build-bench/bench/bench_mirror_sync "127.0.0.1:$IMAPS_PORT" bench bench; }
mbsync() { run "$1" /usr/bin/mbsync -c "$T/mbsync.rc" -a; }
mbsyncnf() { run "$1" /usr/bin/mbsync -c "$T/mbsyncnf.rc" -a; }
SIDES=(mbsync mbsyncnf ours)
# step NAME ROUND: every side once, starting with a different side each round
step() {
  local i
  for i in 0 1 2; do
    local side=${SIDES[$(( (i + $2) % 3 ))]}
    "$side" "${side}_$1_$2"
  done
}
# held STEP ROUND: every side holds all of Dovecot's messages after STEP
# (a step whose time counts must have done the whole work), ours indexed.
held() {
  server=$(doveadm -c "$CONF" mailbox status -u bench messages "*" | awk -F= '{s += $2} END {print s}')
  read -r _ state < "$T/ours_$1_$2.out"
  read -r rows indexed total < <(build-bench/bench/bench_mirror_sync --count)
  for side in mbsync mbsyncnf; do
    mirrored=$(find "$T/$side" -type f \( -path '*/cur/*' -o -path '*/new/*' \) | wc -l)
    [[ $mirrored == "$server" ]] || { echo "FAILED: $1 of round $2: $side holds $mirrored of Dovecot's $server" >&2; exit 1; }
  done
  [[ $rows == "$server" && $indexed == "$total" && $state == done ]] ||
    { echo "FAILED: $1 of round $2: rows $rows, index $indexed of $total, state $state; Dovecot $server" >&2; exit 1; }
}
for r in $(seq 1 "$ROUNDS"); do
  rm -rf "$T/mbsync" "$T/mbsyncnf" "$T/porlinex"; mkdir -p "$T/mbsync" "$T/mbsyncnf" "$T/porlinex"
  step first "$r"; held first "$r"; sleep 2
  step again "$r"
  next=$(doveadm -c "$CONF" -f flow mailbox status -u bench uidnext INBOX | sed 's/.*uidnext=//')
  for f in "$T/new-mail/cur"/*; do doveadm -c "$CONF" save -u bench -m INBOX < "$f"; done
  sleep 2
  step new "$r"; held new "$r"
  # The next round starts from the same N messages on the server.
  [[ $r == "$ROUNDS" ]] || doveadm -c "$CONF" expunge -u bench mailbox INBOX uid "$next:*"
done
# median STEP SIDE FIELD(1 seconds, 2 RSS KB)
median() {
  for r in $(seq 1 "$ROUNDS"); do awk -v f="$3" '{print $f}' "$T/$2_$1_$r.time"; done | sort -g |
    awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
echo "| step (N=$N, median of $ROUNDS) | mbsync s | mbsync FSync no s | Porlinex s | ratio | ratio to FSync no | RSS MB mbsync / Porlinex |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for s in first again new; do
  awk -v s="$s" -v m="$(median "$s" mbsync 1)" -v n="$(median "$s" mbsyncnf 1)" -v o="$(median "$s" ours 1)" \
    -v mr="$(median "$s" mbsync 2)" -v orss="$(median "$s" ours 2)" 'BEGIN {
      printf "| %s | %.3f | %.3f | %.3f | %.2f | %.2f | %.0f / %.0f |\n", s, m, n, o, o / (m > 0 ? m : 0.01),
        o / (n > 0 ? n : 0.01), mr / 1024, orss / 1024 }'
done
echo "- every round, seconds (mbsync / FSync no / Porlinex):"
for s in first again new; do
  line="  - $s:"
  for r in $(seq 1 "$ROUNDS"); do
    line+=" $(awk '{printf "%.3f", $1}' "$T/mbsync_${s}_$r.time") / $(awk '{printf "%.3f", $1}' "$T/mbsyncnf_${s}_$r.time")"
    line+=" / $(awk '{printf "%.3f", $1}' "$T/ours_${s}_$r.time");"
  done
  echo "$line"
done
per_msg=$(awk -v o="$(median first ours 1)" -v n="$N" 'BEGIN { printf "%.3f", o * 1000 / n }')
data="$T/porlinex/var/lib/Vek Software/Porlinex"
echo "- first mirror: $per_msg ms a message; rows $rows = Dovecot's $server = each mbsync mirror; index covers all"
echo "- on disk: Porlinex $(du -sm "$data" | cut -f1) MB (main.db $(du -sm "$data/main.db" | cut -f1) MB)," \
  "mbsync Maildir $(du -sm "$T/mbsync" | cut -f1) MB"
