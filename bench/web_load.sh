#!/usr/bin/env bash
# Load on the web server: wrk with 32 keep-alive connections on loopback
# against a JSON route that loads a session (loglist with X-AJAX), beside
# nginx serving a static file of the same size in the same run. Every reply
# of both sides is checked (status 200 and the expected body length); the
# script fails when one is not, or when either side did not answer at all.
# Prints both rates, their ratio, the CPU time per request of both, and the
# service's threads, descriptors and memory before the load, after each
# round and after REQUESTS requests in all.
#
#   bench/web_load.sh [BUILD_DIR] [SECONDS] [REQUESTS]
#
# SECONDS per round (default 10); REQUESTS (default 1000000) that the
# service must have served before the last figures. Not run by CI. Needs
# wrk, nginx-light and sqlite3; everything lives in temporary folders and
# only 127.0.0.1 is used.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
ROUND_SECONDS=${2:-10}
REQUESTS=${3:-1000000}
PROGRAM=$PWD/$BUILD/porlinex
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM" >&2; exit 1; }

ROOT=$(mktemp -d /tmp/porlinex-webload-XXXXXX)
# nginx's worker drops root's rights: its files live in a folder it may read.
NGINX_DIR=$(mktemp -d /tmp/porlinex-webload-nginx-XXXXXX)
chmod 0755 "$NGINX_DIR"
SERVICE_PID=""
NGINX_PID=""
cleanup() {
    [ -n "$SERVICE_PID" ] && kill -TERM "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
    [ -n "$NGINX_PID" ] && kill -TERM "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
    rm -rf "$ROOT" "$NGINX_DIR"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
PORT=$(free_port)
NGINX_PORT=$(free_port)
DATA="$ROOT/var/lib/Vek Software/Porlinex"
mkdir -p "$ROOT/etc/porlinex" "$DATA/Web" "$DATA/Logs"
printf '[Software\\Vek Software\\Porlinex\\WebServer]\nPort=%s\nPublicEnabled=0\n' "$PORT" > "$ROOT/etc/porlinex/machine.reg"
# A few log files for loglist to list.
for d in 01 02 03 04 05; do : > "$DATA/Logs/2026-12-$d.csv"; : > "$DATA/Logs/2026-12-$d EMAIL.csv"; done

PORLINEX_ROOT=$ROOT "$PROGRAM" -service -manual > "$ROOT/service.out" 2>&1 &
SERVICE_PID=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
SESSION=0000000001benchabc
sqlite3 "$DATA/main.db" "INSERT INTO SESSION_DATA VALUES ('$SESSION', 'local', 'main', '$(date +%F)');"

# status code, then the body, of one request
probe() { curl -s -o "$ROOT/probe.body" -w '%{http_code}' "$@"; }
CODE=$(probe -X POST -H 'X-AJAX: 1' -b "porlinex_sess=$SESSION" -d '{"category":"all"}' "http://127.0.0.1:$PORT/loglist")
BODY=$(cat "$ROOT/probe.body")
[ "$CODE" = 200 ] || fail "loglist answered $CODE"
case "$BODY" in *'"errorcode":200'*'"files":[{'*) ;; *) fail "loglist did not list the logs: $BODY" ;; esac
LENGTH=${#BODY}

# nginx: the same number of body bytes as a static file.
mkdir -p "$NGINX_DIR/html" "$NGINX_DIR/tmp"
printf '%s' "$BODY" > "$NGINX_DIR/html/same.json"
chmod -R a+rX "$NGINX_DIR/html"
cat > "$NGINX_DIR/nginx.conf" <<CONF
worker_processes 1;
pid $NGINX_DIR/nginx.pid;
error_log $NGINX_DIR/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $NGINX_DIR/tmp;
    server {
        listen 127.0.0.1:$NGINX_PORT;
        root $NGINX_DIR/html;
    }
}
CONF
nginx -c "$NGINX_DIR/nginx.conf" -g 'daemon off;' &
NGINX_PID=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$NGINX_PORT/same.json" && break; sleep 0.1; done
CODE=$(probe "http://127.0.0.1:$NGINX_PORT/same.json")
[ "$CODE" = 200 ] || fail "nginx answered $CODE (see $NGINX_DIR/error.log)"
[ "$(stat -c %s "$ROOT/probe.body")" = "$LENGTH" ] || fail "nginx's body is not $LENGTH bytes"

# Every reply is judged; the counts of all of wrk's threads are summed at
# the end as "checked <good> <bad>".
cat > "$ROOT/check.lua" <<LUA
local threads = {}
function setup(thread) table.insert(threads, thread) end
function init(args) good = 0; bad = 0 end
function response(status, headers, body)
    if status == 200 and #body == $LENGTH then good = good + 1 else bad = bad + 1 end
end
function done(summary, latency, requests)
    local g, b = 0, 0
    for _, t in ipairs(threads) do g = g + t:get("good"); b = b + t:get("bad") end
    io.write(string.format("checked %d %d\n", g, b))
end
LUA
cat "$ROOT/check.lua" > "$ROOT/loglist.lua"
cat >> "$ROOT/loglist.lua" <<LUA
wrk.method = "POST"
wrk.body = '{"category":"all"}'
wrk.headers["X-AJAX"] = "1"
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Cookie"] = "porlinex_sess=$SESSION"
LUA

# CPU time (user + system, clock ticks) of processes.
ticks() {
    local sum=0 p t
    for p in "$@"; do t=$(awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null) && sum=$((sum + t)); done
    echo "$sum"
}
HZ=$(getconf CLK_TCK)

# One round: wrk against a URL with a script; sets GOOD, RATE, CPU_US (CPU
# microseconds per request of the pids given).
round() {
    local url=$1 script=$2 out=$3; shift 3
    local before after
    before=$(ticks "$@")
    wrk -t4 -c32 -d"${ROUND_SECONDS}s" -s "$script" "$url" > "$out"
    after=$(ticks "$@")
    local checked errors
    checked=$(grep '^checked ' "$out") || fail "wrk printed no check in $out"
    GOOD=$(echo "$checked" | awk '{print $2}')
    local bad; bad=$(echo "$checked" | awk '{print $3}')
    errors=$(grep -E 'Socket errors|Non-2xx' "$out" || true)
    [ "$bad" = 0 ] || fail "$bad replies of $url were not 200 with $LENGTH bytes"
    [ "$GOOD" -gt 0 ] || fail "no reply of $url"
    [ -z "$errors" ] || fail "$url: $errors"
    RATE=$(awk '/Requests\/sec/ {print $2}' "$out")
    CPU_US=$(python3 -c "print('%.1f' % ((($after - $before) / $HZ) * 1e6 / $GOOD))")
}

figures() {
    local threads fds rss
    threads=$(ls /proc/$SERVICE_PID/task | wc -l)
    fds=$(ls /proc/$SERVICE_PID/fd | wc -l)
    rss=$(awk '/VmRSS/ {print $2}' /proc/$SERVICE_PID/status)
    echo "$1: threads=$threads descriptors=$fds rss_kb=$rss"
}
settle() { for _ in $(seq 50); do [ "$(ls /proc/$SERVICE_PID/task | wc -l)" -le "$1" ] && break; sleep 0.1; done; }

OURS="http://127.0.0.1:$PORT/loglist"
BASE_THREADS=$(ls /proc/$SERVICE_PID/task | wc -l)
figures "baseline"
SERVED=0
round "$OURS" "$ROOT/loglist.lua" "$ROOT/wrk1.txt" "$SERVICE_PID"
P1=$RATE; C1=$CPU_US; SERVED=$((SERVED + GOOD))
# shellcheck disable=SC2046 # the master and its workers
round "http://127.0.0.1:$NGINX_PORT/same.json" "$ROOT/check.lua" "$ROOT/wrk-nginx.txt" "$NGINX_PID" $(pgrep -P "$NGINX_PID")
N=$RATE; CN=$CPU_US
round "$OURS" "$ROOT/loglist.lua" "$ROOT/wrk2.txt" "$SERVICE_PID"
P2=$RATE; C2=$CPU_US; SERVED=$((SERVED + GOOD))
settle "$BASE_THREADS"
figures "after $SERVED requests"
while [ "$SERVED" -lt "$REQUESTS" ]; do
    round "$OURS" "$ROOT/loglist.lua" "$ROOT/wrk-more.txt" "$SERVICE_PID"
    SERVED=$((SERVED + GOOD))
    settle "$BASE_THREADS"
    figures "after $SERVED requests"
done

echo "body bytes: $LENGTH (every reply of both sides checked: 200 and that length)"
echo "porlinex loglist (session, keep-alive): round 1 $P1 req/s ($C1 us CPU/request), round 2 $P2 req/s ($C2 us CPU/request)"
echo "nginx (1 worker) static file of the same size: $N req/s ($CN us CPU/request)"
python3 -c "print('ratio porlinex/nginx: %.3f' % (max($P1, $P2) / $N))"
