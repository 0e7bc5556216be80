#!/bin/bash
# mcp_search_compare.sh [N] : search_mail through the official MCP client
# (connected once, so every call is one warm request) against `notmuch
# search` on the same generated corpus, with the queries of the shared
# anchors. Both are asked for the 50 newest matches; notmuch's own
# thread listing of every match is timed as well, as the anchors do.
#   - corpus: ../shared/bench/gen_corpus.py (GEN_CORPUS), N messages (20000)
#   - Porlinex: the store filled by corpus_store (parser and schema, the
#     full-text index built by its triggers), the real service, MCP enabled
#   - notmuch: `notmuch new` over the same Maildir
# Prints a markdown table: p50 and p95 of RUNS runs (20) after one warm-up,
# hit counts on both sides, and the ratios. Everything lives in one temp
# folder (kept with KEEP=1); every process started is stopped.
set -euo pipefail
N=${1:-20000}; RUNS=${RUNS:-20}; SEED=${SEED:-1}
HERE=$(cd "$(dirname "$0")" && pwd); SRC=$(cd "$HERE/.." && pwd); BUILD=${BUILD_DIR:-$SRC/build}
GEN=${GEN_CORPUS:-$SRC/../shared/bench/gen_corpus.py}; [[ -f $GEN ]] || GEN=/work/shared/bench/gen_corpus.py
T=$(mktemp -d /tmp/bench-mcp-search.XXXXXX)
SERVICE_PID=
cleanup() {
  [[ -n $SERVICE_PID ]] && kill "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
  if [[ -n ${KEEP:-} ]]; then echo "kept $T" >&2; else rm -rf "$T"; fi
}
trap cleanup EXIT; trap 'exit 130' INT TERM
log() { echo "[$(date +%T)] $*" >&2; }
export TZ=UTC PORLINEX_ROOT=$T/root NOTMUCH_CONFIG=$T/notmuch-config
DB="$PORLINEX_ROOT/var/lib/Vek Software/Porlinex/main.db"

log "corpus: $N messages"
/usr/bin/python3 "$GEN" "$T/mail" "$N" --seed "$SEED" > "$T/corpus.json"
corpus() { /usr/bin/python3 -c "import json; d = json.load(open('$T/corpus.json')); print($1)"; }

log "Porlinex store"
mkdir -p "$PORLINEX_ROOT/etc/porlinex"
PORT=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Software\\Vek Software\\Porlinex\\WebServer]\nPort=%s\nSecureEnabled=0\n' "$PORT" > "$PORLINEX_ROOT/etc/porlinex/machine.reg"
stored=$("$BUILD/mcp/tests/tools/corpus_store" "$T/mail")
"$BUILD/porlinex" -service -manual 2> "$T/service.log" &
SERVICE_PID=$!
for _ in $(seq 200); do grep -q 'State=running' "$PORLINEX_ROOT/run/porlinex/PorlinexService.state" 2>/dev/null && break; sleep 0.1; done
sqlite3 "$DB" "INSERT OR REPLACE INTO APPSETTINGS VALUES ('MCP', 'Enabled', '1', '');"
curl -s -o /dev/null -d '{"method":"notifications/initialized"}' "http://127.0.0.1:$PORT/mcp"
TOKEN=$(sqlite3 "$DB" "SELECT VALUE FROM APPSETTINGS WHERE SECTION='MCP' AND ITEM='StdioAuthorization';")
CLIENT=$BUILD/mcp-client
if [[ ! -d $CLIENT/node_modules/@modelcontextprotocol/sdk ]]; then
  mkdir -p "$CLIENT"; cp "$SRC/tests/mcp-client/package.json" "$SRC/tests/mcp-client/package-lock.json" "$CLIENT/"
  npm ci --prefix "$CLIENT" --ignore-scripts --no-audit --no-fund --loglevel=error >&2
fi
cp "$SRC/tests/mcp-client/client_check.mjs" "$CLIENT/"

log "notmuch new"
cat > "$NOTMUCH_CONFIG" <<EOF
[database]
path=$T/mail
[user]
name=Bench User
primary_email=bench@example.org
[new]
tags=unread;inbox;
EOF
notmuch new > /dev/null

# The anchors' queries that search_mail can express (it has no date
# filter); from:ADDRESS becomes the address searched in the header columns.
names=("common word" "rare word" "phrase" "from:address")
/usr/bin/python3 - "$T" "${names[@]}" <<'EOF'
import json, sys
T, names = sys.argv[1], sys.argv[2:]
q = json.load(open(f"{T}/corpus.json"))["queries"]
calls = [{"name": "search_mail", "arguments": {"query": q[n][5:] if n == "from:address" else q[n], "limit": 50,
                                               "scope": "headers" if n == "from:address" else "smart"}} for n in names]
json.dump(calls, open(f"{T}/calls.json", "w"))
EOF
log "search_mail through the MCP client"
PORLINEX_CALL_REPEAT=$((RUNS + 1)) node "$CLIENT/client_check.mjs" "http://127.0.0.1:$PORT/mcp" "$TOKEN" "$T/calls.json" "$T/ours.json"

# timings CMD... : RUNS runs after one warm-up; wall times in ms, one a line
timings() {
  "$@" > /dev/null < /dev/null
  local s e
  for _ in $(seq "$RUNS"); do s=$EPOCHREALTIME; "$@" > /dev/null < /dev/null; e=$EPOCHREALTIME; echo "$s $e"; done |
    awk '{print ($2 - $1) * 1000}'
}
log "notmuch search"
for i in "${!names[@]}"; do
  q=$(corpus "d['queries']['${names[$i]}']")
  timings notmuch search --output=summary --sort=newest-first --limit=50 "$q" > "$T/top50.$i"
  timings notmuch search --output=threads "$q" > "$T/threads.$i"
  notmuch count "$q" > "$T/count.$i"
  notmuch search --output=messages --sort=newest-first --limit=50 "$q" | wc -l > "$T/listed.$i"
done

/usr/bin/python3 - "$T" "$RUNS" "$stored" "${names[@]}" <<'EOF'
import json, sys
T, runs, stored, names = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
def p(xs, q):
    xs = sorted(xs); return xs[min(len(xs) - 1, max(0, int(len(xs) * q + 0.999) - 1))]
def p50(xs):
    xs = sorted(xs); n = len(xs); return xs[n // 2] if n % 2 else (xs[n // 2 - 1] + xs[n // 2]) / 2
ours = json.load(open(f"{T}/ours.json"))
corpus = json.load(open(f"{T}/corpus.json"))
assert not ours["errors"], ours["errors"]
print(f"# search_mail (warm MCP client) vs notmuch search: {corpus['messages']} messages, {stored} stored, {runs} runs\n")
print("| query | search_mail rows / mode | notmuch hits (listed) | search_mail p50 / p95 ms | notmuch top 50 p50 / p95 ms | ratio p50 / p95 | notmuch all threads p50 / p95 ms | ratio p50 / p95 |")
print("|---|---|---|---:|---:|---:|---:|---:|")
for i, name in enumerate(names):
    t = ours["timings_ms"][i * (runs + 1) + 1:(i + 1) * (runs + 1)]
    data = json.loads(ours["calls"][i]["result"]["content"][0]["text"].split("\n", 1)[1])
    top = [float(x) for x in open(f"{T}/top50.{i}")]
    thr = [float(x) for x in open(f"{T}/threads.{i}")]
    hits, listed = open(f"{T}/count.{i}").read().strip(), open(f"{T}/listed.{i}").read().strip()
    print(f"| {name} | {len(data['emails'])} / {data['search_mode']} | {hits} ({listed}) | {p50(t):.1f} / {p(t, .95):.1f} | "
          f"{p50(top):.1f} / {p(top, .95):.1f} | {p50(t) / p50(top):.2f} / {p(t, .95) / p(top, .95):.2f} | "
          f"{p50(thr):.1f} / {p(thr, .95):.1f} | {p50(t) / p50(thr):.2f} / {p(t, .95) / p(thr, .95):.2f} |")
print(f"\n- expected hits (generator): {corpus['expected_hits']}")
print("- ratio < 1: search_mail is faster. notmuch times include its process start, as in the anchors; search_mail "
      "times are one JSON-RPC request each on a connected client (HTTP, authorisation, two database connections, "
      "the query, snippets and the JSON answer).")
EOF
