#!/usr/bin/env bash
# Load on the web server: wrk with 32 keep-alive connections on loopback
# against a JSON route that loads a session (loglist with X-AJAX), beside
# nginx serving a static file of the same size in the same run. Prints both
# rates and their ratio, and the service's threads, descriptors and memory
# before, between and after two rounds (they must come back to the start).
#
#   bench/web_load.sh [BUILD_DIR] [SECONDS]
#
# Not run by CI. Needs wrk, nginx-light and sqlite3; everything lives in one
# temporary folder and only 127.0.0.1 is used.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
SECONDS_PER_ROUND=${2:-10}
PROGRAM=$PWD/$BUILD/porlinex
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM" >&2; exit 1; }

ROOT=$(mktemp -d /tmp/porlinex-webload-XXXXXX)
SERVICE_PID=""
NGINX_PID=""
cleanup() {
    [ -n "$SERVICE_PID" ] && kill -TERM "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
    [ -n "$NGINX_PID" ] && kill -TERM "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null || true
    rm -rf "$ROOT"
}
trap cleanup EXIT

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

BODY=$(curl -s -X POST -H 'X-AJAX: 1' -b "porlinex_sess=$SESSION" -d '{"category":"all"}' "http://127.0.0.1:$PORT/loglist")
case "$BODY" in *'"errorcode":200'*) ;; *) echo "loglist did not answer: $BODY" >&2; exit 1 ;; esac

# nginx: the same number of body bytes as a static file.
mkdir -p "$ROOT/nginx/html" "$ROOT/nginx/tmp"
printf '%s' "$BODY" > "$ROOT/nginx/html/same.json"
cat > "$ROOT/nginx/nginx.conf" <<CONF
worker_processes 1;
pid $ROOT/nginx/nginx.pid;
error_log $ROOT/nginx/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $ROOT/nginx/tmp;
    server {
        listen 127.0.0.1:$NGINX_PORT;
        root $ROOT/nginx/html;
    }
}
CONF
nginx -c "$ROOT/nginx/nginx.conf" -g 'daemon off;' &
NGINX_PID=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$NGINX_PORT/same.json" && break; sleep 0.1; done

cat > "$ROOT/loglist.lua" <<LUA
wrk.method = "POST"
wrk.body = '{"category":"all"}'
wrk.headers["X-AJAX"] = "1"
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Cookie"] = "porlinex_sess=$SESSION"
LUA

figures() {
    local threads fds rss
    threads=$(ls /proc/$SERVICE_PID/task | wc -l)
    fds=$(ls /proc/$SERVICE_PID/fd | wc -l)
    rss=$(awk '/VmRSS/ {print $2}' /proc/$SERVICE_PID/status)
    echo "$1: threads=$threads descriptors=$fds rss_kb=$rss"
}
rate() { awk '/Requests\/sec/ {print $2}'; }
settle() { for _ in $(seq 50); do [ "$(ls /proc/$SERVICE_PID/task | wc -l)" -le "$1" ] && break; sleep 0.1; done; }

BASE_THREADS=$(ls /proc/$SERVICE_PID/task | wc -l)
figures "baseline"
P1=$(wrk -t4 -c32 -d"${SECONDS_PER_ROUND}s" -s "$ROOT/loglist.lua" "http://127.0.0.1:$PORT/loglist" | tee "$ROOT/wrk1.txt" | rate)
settle "$BASE_THREADS"
figures "after round 1"
N=$(wrk -t4 -c32 -d"${SECONDS_PER_ROUND}s" "http://127.0.0.1:$NGINX_PORT/same.json" | tee "$ROOT/wrk-nginx.txt" | rate)
P2=$(wrk -t4 -c32 -d"${SECONDS_PER_ROUND}s" -s "$ROOT/loglist.lua" "http://127.0.0.1:$PORT/loglist" | tee "$ROOT/wrk2.txt" | rate)
settle "$BASE_THREADS"
figures "after round 2"
grep -E "Non-2xx|Socket errors" "$ROOT/wrk1.txt" "$ROOT/wrk2.txt" || true

echo "body bytes: ${#BODY}"
echo "porlinex loglist (session, keep-alive): round 1 $P1 req/s, round 2 $P2 req/s"
echo "nginx static file of the same size:     $N req/s"
python3 -c "print('ratio porlinex/nginx: %.3f' % (max($P1, $P2) / $N))"
