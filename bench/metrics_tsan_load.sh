#!/usr/bin/env bash
# The metrics pages under load in a ThreadSanitizer build: wrk on the
# metrics, current-scripts and reset pages at once, beside a page route and
# a JSON route whose counters they read and clear. Fails when the sanitizer
# reports anything or a page stops answering 200/302. Not run by CI.
#
#   cmake -S . -B build-tsan -DPORLINEX_SANITIZE=thread && cmake --build build-tsan --target porlinex
#   bench/metrics_tsan_load.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build-tsan}
SECONDS_EACH=${2:-15}
PROGRAM=$PWD/$BUILD/porlinex
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM" >&2; exit 1; }

ROOT=$(mktemp -d /tmp/porlinex-tsan-XXXXXX)
SERVICE_PID=""
cleanup() {
    [ -n "$SERVICE_PID" ] && kill -TERM "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
    [ -n "${KEEP_ROOT:-}" ] && echo "kept $ROOT" || rm -rf "$ROOT"
}
trap cleanup EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
DATA="$ROOT/var/lib/Vek Software/Porlinex"
mkdir -p "$ROOT/etc/porlinex" "$DATA"
printf '[Software\\Vek Software\\Porlinex\\WebServer]\nPort=%s\nPublicEnabled=0\nSecureEnabled=0\n' "$PORT" \
    > "$ROOT/etc/porlinex/machine.reg"
TSAN_OPTIONS="log_path=$ROOT/tsan halt_on_error=0" PORLINEX_ROOT=$ROOT "$PROGRAM" -service -manual \
    > "$ROOT/service.out" 2>&1 &
SERVICE_PID=$!
for _ in $(seq 600); do curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
SESSION=0000000001tsanabcd
sqlite3 -cmd ".timeout 10000" "$DATA/main.db" \
    "INSERT INTO SESSION_DATA VALUES ('$SESSION', 'local', 'main', '$(date +%F)');"

BASE=http://127.0.0.1:$PORT
COOKIE="Cookie: porlinex_sess=$SESSION"
pids=()
for path in /_webscriptmetrics /_webscriptmetrics_current /_webscriptmetrics_reset /logon \
            "/dbtable-read?table=RULES&cmd=SELECTALL"; do
    wrk -t1 -c4 -d"${SECONDS_EACH}s" -H "$COOKIE" "$BASE$path" > "$ROOT/wrk-$(echo "$path" | tr -c 'a-z' _).txt" &
    pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done
grep -h "Requests/sec\|Non-2xx" "$ROOT"/wrk-*.txt || true
echo "session loads (requests that reached a route): $(grep -c 'LoadSession success' "$ROOT/service.out")"
# From another address: the load's own is blocked by the connection limit
# by now.
CODE=$(curl -s -o /dev/null -w '%{http_code}' --interface 127.0.0.9 -H "$COOKIE" "$BASE/_webscriptmetrics")
[ "$CODE" = 200 ] || { echo "FAILED: metrics answered $CODE after the load" >&2; exit 1; }
kill -TERM "$SERVICE_PID"; wait "$SERVICE_PID" || true; SERVICE_PID=""
if ls "$ROOT"/tsan* > /dev/null 2>&1; then
    cat "$ROOT"/tsan* | head -80
    echo "FAILED: ThreadSanitizer reported $(cat "$ROOT"/tsan* | grep -c '^WARNING: ThreadSanitizer') warnings" >&2
    exit 1
fi
echo "ThreadSanitizer: no reports"
