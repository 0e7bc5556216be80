#!/usr/bin/env bash
# Fetch of one 50 MB message over imaps from one Dovecot: the IMAP client
# (bench_imap_fetch: sign-in, SELECT, UID FETCH, LOGOUT) beside curl doing
# the same session (imaps://.../INBOX;UID=1), alternating, ROUNDS each; the
# best session time of each and the ratio. Both must have received the
# whole message (byte counts checked). Needs root (Dovecot), dovecot-imapd
# and curl; builds into build-bench/.
#   bench/imap_fetch_compare.sh [ROUNDS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-5}
WORK=$(mktemp -d /tmp/porlinex-imapbench-XXXXXX)
chmod 755 "$WORK"
DC="$WORK/dovecot"
trap '/work/shared/bench/dovecot.sh stop "$DC" >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
BUILD_DIR=build-bench BUILD_TYPE=Release scripts/build.sh -DPORLINEX_BENCH=ON >/dev/null
/usr/bin/python3 - "$WORK/big.eml" <<'PY'
import base64, os, sys
data = os.urandom(37 * 1024 * 1024)          # about 50 MB once in base64
with open(sys.argv[1], "wb") as f:
    f.write(b"From: a@example.org\r\nTo: b@example.org\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
            b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n")
    b = base64.b64encode(data)
    for i in range(0, len(b), 76):
        f.write(b[i:i + 76] + b"\r\n")
PY
"${DOVECOT_SH:-/work/shared/bench/dovecot.sh}" start "$DC" >/dev/null
source "$DC/dovecot.env"
doveadm -c "$CONF" save -u bench -m INBOX < "$WORK/big.eml"
SIZE=$(doveadm -c "$CONF" fetch -u bench size.virtual mailbox INBOX uid 1 | awk '/size.virtual/ {print $2}')
export SSL_CERT_FILE="$DC/cert.pem"
ours=(); theirs=()
for round in $(seq "$ROUNDS"); do
  read -r obytes osecs < <(build-bench/bench/bench_imap_fetch "127.0.0.1:$IMAPS_PORT" bench bench 1 1)
  read -r cbytes csecs < <(curl -s --cacert "$DC/cert.pem" -u bench:bench -o /dev/null \
                             -w '%{size_download} %{time_total}\n' "imaps://127.0.0.1:$IMAPS_PORT/INBOX;UID=1")
  [[ $obytes == "$SIZE" && $cbytes == "$SIZE" ]] || { echo "incomplete fetch: ours $obytes, curl $cbytes, message $SIZE" >&2; exit 1; }
  echo "round $round: porlinex $osecs s, curl $csecs s ($SIZE bytes each)"
  ours+=("$osecs"); theirs+=("$csecs")
done
o=$(printf '%s\n' "${ours[@]}" | sort -g | head -1)
c=$(printf '%s\n' "${theirs[@]}" | sort -g | head -1)
echo "| client | best session (s) | MB/s |"
echo "|---|---:|---:|"
awk -v s="$SIZE" -v t="$o" 'BEGIN { printf "| Porlinex LImapConnection | %.3f | %.0f |\n", t, s / t / 1e6 }'
awk -v s="$SIZE" -v t="$c" 'BEGIN { printf "| curl | %.3f | %.0f |\n", t, s / t / 1e6 }'
awk -v o="$o" -v c="$c" 'BEGIN { printf "time ratio Porlinex/curl: %.2f\n", o / c }'
