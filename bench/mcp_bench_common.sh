# Sourced by the MCP benchmarks (mcp_search_compare.sh,
# mcp_structured_compare.sh): N generated messages (GEN_CORPUS) in one temp
# folder T, the Porlinex store filled by corpus_store, the real service with
# MCP enabled (PORT, TOKEN, CLIENT: the official client), notmuch indexed
# over the same Maildir, and `timings`. Every process started is stopped and
# T removed on exit (kept with KEEP=1; REUSE=DIR runs on a folder kept
# before, without making its corpus, store and notmuch index again).
N=${1:-20000}; RUNS=${RUNS:-20}; SEED=${SEED:-1}
HERE=$(cd "$(dirname "$0")" && pwd); SRC=$(cd "$HERE/.." && pwd); BUILD=${BUILD_DIR:-$SRC/build}
GEN=${GEN_CORPUS:-$SRC/../shared/bench/gen_corpus.py}; [[ -f $GEN ]] || GEN=/work/shared/bench/gen_corpus.py
if [[ -n ${REUSE:-} ]]; then T=$REUSE; KEEP=1; else T=$(mktemp -d /tmp/bench-mcp-search.XXXXXX); fi
SERVICE_PID=
cleanup() {
  [[ -n $SERVICE_PID ]] && kill "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
  if [[ -n ${KEEP:-} ]]; then echo "kept $T" >&2; else rm -rf "$T"; fi
}
trap cleanup EXIT; trap 'exit 130' INT TERM
log() { echo "[$(date +%T)] $*" >&2; }
export TZ=UTC PORLINEX_ROOT=$T/root NOTMUCH_CONFIG=$T/nm.conf
DB="$PORLINEX_ROOT/var/lib/Vek Software/Porlinex/main.db"

if [[ ! -f $T/corpus.json ]]; then
  log "corpus: $N messages"
  /usr/bin/python3 "$GEN" "$T/mail" "$N" --seed "$SEED" > "$T/corpus.json.part"
  mv "$T/corpus.json.part" "$T/corpus.json"
fi
corpus() { /usr/bin/python3 -c "import json; d = json.load(open('$T/corpus.json')); print($1)"; }

log "Porlinex store"
mkdir -p "$PORLINEX_ROOT/etc/porlinex"
PORT=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Software\\Vek Software\\Porlinex\\WebServer]\nPort=%s\nSecureEnabled=0\n' "$PORT" > "$PORLINEX_ROOT/etc/porlinex/machine.reg"
[[ -s $T/stored ]] || "$BUILD/mcp/tests/tools/corpus_store" "$T/mail" > "$T/stored"
stored=$(cat "$T/stored")
rm -f "$PORLINEX_ROOT/run/porlinex/PorlinexService.state"
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

# timings CMD... : RUNS runs after one warm-up; wall times in ms, one a line.
# A run that fails stops the script (pipefail): no time counts for work not done.
timings() {
  "$@" > /dev/null < /dev/null
  local s e
  for _ in $(seq "$RUNS"); do
    s=$EPOCHREALTIME; "$@" > /dev/null < /dev/null || { echo "FAILED: $*" >&2; exit 1; }; e=$EPOCHREALTIME
    echo "$s $e"
  done | awk '{print ($2 - $1) * 1000}'
}
