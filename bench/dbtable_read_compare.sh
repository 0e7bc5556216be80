#!/usr/bin/env bash
# dbtable-read SELECTALL on 10,000 RULES rows, beside `sqlite3 -json` of the
# same statement on the same database in the same run. Our side is timed
# from the request to the last byte of the reply on a kept-alive loopback
# connection; the sqlite3 side from the start of the process to its end.
# Both outputs are parsed and must hold every row. Prints p50 and p95 of
# both and their ratios. Not run by CI. Needs sqlite3 and python3.
#
#   bench/dbtable_read_compare.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-200}
PROGRAM=$PWD/$BUILD/porlinex
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM" >&2; exit 1; }

ROOT=$(mktemp -d /tmp/porlinex-dbtable-XXXXXX)
SERVICE_PID=""
cleanup() {
    [ -n "$SERVICE_PID" ] && kill -TERM "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
    rm -rf "$ROOT"
}
trap cleanup EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
DATA="$ROOT/var/lib/Vek Software/Porlinex"
mkdir -p "$ROOT/etc/porlinex" "$DATA"
printf '[Software\\Vek Software\\Porlinex\\WebServer]\nPort=%s\nPublicEnabled=0\nSecureEnabled=0\n' "$PORT" \
    > "$ROOT/etc/porlinex/machine.reg"
PORLINEX_ROOT=$ROOT "$PROGRAM" -service -manual > "$ROOT/service.out" 2>&1 &
SERVICE_PID=$!
for _ in $(seq 200); do curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
SESSION=0000000001benchabc
sqlite3 "$DATA/main.db" "INSERT INTO SESSION_DATA VALUES ('$SESSION', 'local', 'main', '$(date +%F)');"
sqlite3 "$DATA/main.db" "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
  INSERT INTO RULES (ID, EMAILACCOUNT_ID, NAME, FUNCTION, FUNCTION_DETAIL, CREATED)
  SELECT printf('r%09d', i), 'acct000001', 'Rule number ' || i, 'move', 'Archive/' || (i % 37), '2026-01-01 00:00:00'
  FROM n;"

python3 - "$PORT" "$SESSION" "$DATA/main.db" "$RUNS" <<'PY'
import http.client, json, subprocess, sys, time
port, session, db, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
sql = "SELECT * FROM main.RULES WHERE DELETED IS NULL;"

def pct(v, p):
    v = sorted(v)
    return v[min(len(v) - 1, int(round(p / 100 * (len(v) - 1))))]

conn = http.client.HTTPConnection("127.0.0.1", int(port))
ours, theirs = [], []
for i in range(runs + 10):
    t = time.perf_counter()
    conn.request("GET", "/dbtable-read?table=RULES&cmd=SELECTALL", headers={"Cookie": "porlinex_sess=" + session})
    r = conn.getresponse()
    body = r.read()
    a = time.perf_counter() - t
    t = time.perf_counter()
    out = subprocess.run(["sqlite3", "-json", db, sql], capture_output=True, check=True).stdout
    b = time.perf_counter() - t
    if r.status != 200 or len(json.loads(body)["select"]) != 10000:
        sys.exit("dbtable-read did not return 10000 rows")
    if len(json.loads(out)) != 10000:
        sys.exit("sqlite3 did not return 10000 rows")
    if i >= 10:  # the first runs warm the caches of both
        ours.append(a * 1000)
        theirs.append(b * 1000)
print(f"reply bytes: ours {len(body)}, sqlite3 -json {len(out)}")
for p in (50, 95):
    o, s = pct(ours, p), pct(theirs, p)
    print(f"p{p}: dbtable-read {o:.2f} ms, sqlite3 -json {s:.2f} ms, ratio {o / s:.2f}")
PY
