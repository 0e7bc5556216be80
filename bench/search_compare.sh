#!/bin/bash
# search_compare.sh [N] : the emailsearch route through curl (one process
# per request, with a session, so process start is counted as in notmuch's
# figures) against `notmuch search` on the same generated corpus, the
# peak RSS of the service, and the backup's full export and an
# incremental round with nothing new.
#   - corpus: ../shared/bench/gen_corpus.py (GEN_CORPUS), N messages (20000)
#   - Porlinex: the store filled by corpus_store, then the real service
#   - notmuch: `notmuch new` over the same Maildir
# Every request is timed twice: through curl, and through bench/http_post.c,
# a client of a few system calls, since curl's own start (some thirty
# shared libraries) is longer than many whole notmuch searches. The floors
# (each client's start, the route refusing an empty request, notmuch's
# start) are printed beside them.
# Prints markdown tables: p50 / p95 of RUNS runs (20) after one warm-up,
# hit counts on both sides and ratios. One temp folder (KEEP=1 keeps it;
# REUSE=DIR runs on a folder kept before, without making its corpus, store
# and notmuch index again). BACKUP=0 leaves out the backup's rounds.
set -euo pipefail
N=${1:-20000}; RUNS=${RUNS:-20}; SEED=${SEED:-1}
HERE=$(cd "$(dirname "$0")" && pwd); SRC=$(cd "$HERE/.." && pwd); BUILD=${BUILD_DIR:-$SRC/build}
GEN=${GEN_CORPUS:-$SRC/../shared/bench/gen_corpus.py}; [[ -f $GEN ]] || GEN=/work/shared/bench/gen_corpus.py
if [[ -n ${REUSE:-} ]]; then W=$REUSE; KEEP=1; else W=$(mktemp -d /tmp/bench-search.XXXXXX); fi
PID=
finish() {
  [[ -n $PID ]] && kill "$PID" 2>/dev/null && wait "$PID" 2>/dev/null || true
  [[ -n ${KEEP:-} ]] && echo "kept $W" >&2 || rm -rf "$W"
}
trap finish EXIT; trap 'exit 130' INT TERM
say() { echo "[$(date +%T)] $*" >&2; }
export TZ=UTC PORLINEX_ROOT=$W/root NOTMUCH_CONFIG=$W/nm.conf
STORE="$PORLINEX_ROOT/var/lib/Vek Software/Porlinex/main.db"
HIVE="$PORLINEX_ROOT/etc/porlinex/machine.reg"

cc -O2 -Wall -Wextra -Werror -o "$W/http_post" "$HERE/http_post.c"
if [[ ! -f $W/corpus.json ]]; then
  say "corpus of $N"
  /usr/bin/python3 "$GEN" "$W/mail" "$N" --seed "$SEED" > "$W/corpus.json.part"
  mv "$W/corpus.json.part" "$W/corpus.json"
fi
say "store and service"
mkdir -p "$(dirname "$HIVE")"
PORT=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Software\\Vek Software\\Porlinex\\WebServer]\nPort=%s\nSecureEnabled=0\n' "$PORT" > "$HIVE"
[[ -s $W/stored ]] || "$BUILD/mcp/tests/tools/corpus_store" "$W/mail" > "$W/stored"
rm -f "$PORLINEX_ROOT/run/porlinex/PorlinexService.state"
"$BUILD/porlinex" -service -manual 2> "$W/service.log" &
PID=$!
until grep -q 'State=running' "$PORLINEX_ROOT/run/porlinex/PorlinexService.state" 2>/dev/null; do sleep 0.1; done
SESSION=benchsession0000aa
sqlite3 "$STORE" "INSERT OR REPLACE INTO SESSION_DATA VALUES ('$SESSION', 'local', 'main', '2099-01-01');"
printf '[database]\npath=%s\n[user]\nprimary_email=bench@example.org\n[new]\ntags=inbox;\n' "$W/mail" > "$NOTMUCH_CONFIG"
say "notmuch new"
notmuch new > /dev/null

search() { curl -sf --max-time 120 -H 'X-AJAX: 1' -b "porlinex_sess=$SESSION" --data-binary "$1" "http://127.0.0.1:$PORT/emailsearch"; }
light() { "$W/http_post" "$PORT" emailsearch "$SESSION" "$1"; }
/usr/bin/python3 - "$W" > "$W/requests" <<'PY'
import json, sys
q = json.load(open(sys.argv[1] + "/corpus.json"))["queries"]
rows = [("rare word", {"query": q["rare word"]}, q["rare word"]),
        ("phrase", {"query": q["phrase"]}, q["phrase"]),
        ("from", {"from": q["from:address"][5:]}, q["from:address"]),
        ("date range", {"after_utc": 1646092800, "before_utc": 1648771199}, q["date range"]),
        ("common word", {"query": q["common word"]}, q["common word"]),
        ("no FTS hit (LIKE fallback)", {"query": "zqxjkvw"}, "zqxjkvw")]
for name, req, nm in rows:
    req["limit"] = 25
    print(name + "\t" + json.dumps(req) + "\t" + nm)
PY
# rounds OUT... -- CMD... -- CMD... : RUNS rounds after one warm-up, each
# timing every command once in turn (ms into its OUT file), so that a change
# in the machine's load falls on every side alike. A run that fails stops the
# comparison: no time counts for work not done.
rounds() {
  local outs=() cmds=() cmd=() arg
  while [[ $1 != -- ]]; do outs+=("$1"); shift; done
  shift
  for arg in "$@" --; do
    if [[ $arg == -- ]]; then cmds+=("$(printf '%q ' "${cmd[@]}")"); cmd=(); else cmd+=("$arg"); fi
  done
  local k
  for k in "${!cmds[@]}"; do eval "${cmds[$k]}" > /dev/null || { echo "FAILED: ${cmds[$k]}" >&2; exit 1; }; : > "${outs[$k]}"; done
  for _ in $(seq "$RUNS"); do
    for k in "${!cmds[@]}"; do
      local a=$EPOCHREALTIME; eval "${cmds[$k]}" > /dev/null || { echo "FAILED: ${cmds[$k]}" >&2; exit 1; }
      local b=$EPOCHREALTIME
      echo "($b - $a) * 1000" | bc -l >> "${outs[$k]}"
    done
  done
}
i=0
while IFS=$'\t' read -r name req nm; do
  say "query: $name"
  rounds "$W/ours.$i" "$W/light.$i" "$W/theirs.$i" -- search "$req" -- light "$req" -- \
    notmuch search --output=summary --sort=newest-first --limit=25 "$nm"
  search "$req" > "$W/answer.$i"
  notmuch count "$nm" > "$W/count.$i"
  # notmuch must have answered: as many summary lines as it counts, up to 25.
  notmuch search --output=summary --sort=newest-first --limit=25 "$nm" | wc -l > "$W/listed.$i"
  i=$((i + 1))
done < "$W/requests"
# notmuch matches whole terms only, so for the substring fallback it does
# not do the same work; grep listing the message files that hold the
# string (case-insensitive, as the fallback's LIKE) reads every message as
# the fallback does and is its same-work reference.
substring_scan() { grep -rliF --exclude-dir=.notmuch -- "$1" "$W/mail" > /dev/null; [[ $? -le 1 ]]; }
say "same work for the substring fallback: grep over the Maildir"
rounds "$W/grep.ours" "$W/grep.light" "$W/grep.theirs" -- search '{"query": "zqxjkvw", "limit": 25}' -- \
  light '{"query": "zqxjkvw", "limit": 25}' -- substring_scan zqxjkvw
say "floors"
rounds "$W/floor.curl" "$W/floor.route" "$W/floor.light" "$W/floor.notmuch" "$W/floor.nmcount" -- curl --version -- \
  search '{}' -- light '{}' -- notmuch --version -- notmuch count zqxjkvw
grep VmHWM "/proc/$PID/status" | awk '{print $2}' > "$W/rss"

if [[ ${BACKUP:-1} != 0 ]]; then
say "backup: full export, then a round with nothing new"
mkdir -p "$W/backup"
value() { grep -a -A20 'EmailBackup\]' "$HIVE" | grep -a "^$1=" | head -1 | cut -d= -f2; }
a=$EPOCHREALTIME
curl -s -H 'X-AJAX: 1' -b "porlinex_sess=$SESSION" --data-binary "{\"enabled\":1,\"folder\":\"$W/backup\"}" \
  "http://127.0.0.1:$PORT/backupsettings" > /dev/null
until [[ -n $(value LastDoneUTC) ]]; do sleep 0.05; done
b=$EPOCHREALTIME; echo "($b - $a)" | bc -l > "$W/full"
sleep 1.2; before=$(value LastDoneUTC)
a=$EPOCHREALTIME
curl -s -H 'X-AJAX: 1' -b "porlinex_sess=$SESSION" --data-binary "{\"enabled\":1,\"folder\":\"$W/backup\"}" \
  "http://127.0.0.1:$PORT/backupsettings" > /dev/null
until [[ $(value LastDoneUTC) != "$before" ]]; do sleep 0.01; done
b=$EPOCHREALTIME; echo "($b - $a)" | bc -l > "$W/incremental"
find "$W/backup" -name '*.eml' | wc -l > "$W/files"
fi

/usr/bin/python3 - "$W" "$RUNS" <<'PY'
import json, sys
W, runs = sys.argv[1], int(sys.argv[2])
def pct(xs, q):
    xs = sorted(xs); return xs[min(len(xs) - 1, max(0, int(len(xs) * q + 0.999) - 1))]
corpus = json.load(open(W + "/corpus.json"))
names = [l.split("\t")[0] for l in open(W + "/requests")]
print(f"# emailsearch (curl per request) vs notmuch search: {corpus['messages']} messages, "
      f"{open(W + '/stored').read().strip()} stored, {runs} runs\n")
print("| query | ours: rows / count / mode | notmuch count (listed) | ours curl p50 / p95 ms | ours light client p50 / p95 ms | notmuch p50 / p95 ms | ratio curl p50 / p95 | ratio light p50 / p95 |")
print("|---|---|---:|---:|---:|---:|---:|---:|")
for i, name in enumerate(names):
    a = json.load(open(f"{W}/answer.{i}"))
    rows = len(a.get("emails", [])) or len(a.get("fallback_emails", []))
    # Both sides must have searched: a count from each, hits where the
    # generator planted them, and notmuch listing what it counts.
    theirs = int(open(f"{W}/count.{i}").read())
    listed = int(open(f"{W}/listed.{i}").read())
    assert "count" in a, (name, a)
    assert listed == min(25, theirs), (name, listed, theirs)
    if name != "no FTS hit (LIKE fallback)":
        assert rows > 0 and theirs > 0, (name, rows, theirs)
    o = [float(x) for x in open(f"{W}/ours.{i}")]; l = [float(x) for x in open(f"{W}/light.{i}")]
    t = [float(x) for x in open(f"{W}/theirs.{i}")]
    print(f"| {name} | {rows} / {a.get('count')} / {a.get('search_mode')} | {theirs} ({listed}) | "
          f"{pct(o, .5):.1f} / {pct(o, .95):.1f} | {pct(l, .5):.1f} / {pct(l, .95):.1f} | {pct(t, .5):.1f} / {pct(t, .95):.1f} | "
          f"{pct(o, .5) / pct(t, .5):.2f} / {pct(o, .95) / pct(t, .95):.2f} | {pct(l, .5) / pct(t, .5):.2f} / {pct(l, .95) / pct(t, .95):.2f} |")
o, l, g = ([float(x) for x in open(f"{W}/grep.{k}")] for k in ("ours", "light", "theirs"))
print(f"\nSubstring fallback against its same-work reference, `grep -rliF` over the Maildir (notmuch matches whole "
      f"terms only): ours curl {pct(o, .5):.1f} / {pct(o, .95):.1f} ms, light client {pct(l, .5):.1f} / "
      f"{pct(l, .95):.1f} ms, grep {pct(g, .5):.1f} / {pct(g, .95):.1f} ms; ratio curl "
      f"{pct(o, .5) / pct(g, .5):.2f} / {pct(o, .95) / pct(g, .95):.2f}, light {pct(l, .5) / pct(g, .5):.2f} / "
      f"{pct(l, .95) / pct(g, .95):.2f}")
print("\n| floor | p50 / p95 ms |\n|---|---:|")
for f, what in [("curl", "curl --version (curl's own start)"), ("route", "curl, emailsearch refusing {} (start, HTTP, session, database open)"),
                ("light", "light client, emailsearch refusing {}"), ("notmuch", "notmuch --version"),
                ("nmcount", "notmuch count of a word it lacks")]:
    x = [float(v) for v in open(f"{W}/floor.{f}")]
    print(f"| {what} | {pct(x, .5):.1f} / {pct(x, .95):.1f} |")
print(f"\n- expected hits (generator): {corpus['expected_hits']}")
print(f"- service peak RSS: {int(open(W + '/rss').read()) / 1024:.1f} MB")
import os
if os.path.exists(W + "/full"):
    print(f"- backup: full export {float(open(W + '/full').read()):.1f} s ({open(W + '/files').read().strip()} files), "
          f"incremental round with nothing new {float(open(W + '/incremental').read()) * 1000:.0f} ms")
print("- ratio < 1: ours is faster. Both include process start (curl or the light client; notmuch). Ours pages 25 rows; "
      "notmuch lists 25.")
PY
