#!/bin/bash
# mcp_structured_compare.sh [N] : advanced_search_mail (sender, date range),
# search_mail_address and list_recent_threads through the official MCP
# client (connected once: every call is one warm request) against `notmuch
# search` with from:, date: and --output=threads on the same generated
# corpus, each asked for the 50 newest matches (25 threads); and mail_stats
# over the whole store.
# Prints a markdown table: p50 and p95 of RUNS runs (20) after one warm-up,
# rows on both sides and the ratios (< 1: the tool is faster). notmuch
# times include its process start, as in the shared anchors.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/mcp_bench_common.sh"

address=$(corpus "d['queries']['from:address'][5:]")
dates=$(corpus "d['queries']['date range']")
# The date query's days as seconds since 1970 (its last day whole).
read -r after before < <(/usr/bin/python3 -c "
import calendar, time
a, b = '$dates'[5:].split('..')
t = lambda s: calendar.timegm(time.strptime(s, '%Y-%m-%d'))
print(t(a), t(b) + 86399)")
cat > "$T/calls.json" <<EOF
[{"name": "advanced_search_mail", "arguments": {"from": "$address", "limit": 50}},
 {"name": "advanced_search_mail", "arguments": {"after_utc": $after, "before_utc": $before, "limit": 50}},
 {"name": "search_mail_address", "arguments": {"address": "$address", "after_utc": 0, "limit": 50}},
 {"name": "list_recent_threads", "arguments": {"limit": 25}},
 {"name": "mail_stats", "arguments": {}}]
EOF
log "tools through the MCP client"
PORLINEX_CALL_REPEAT=$((RUNS + 1)) node "$CLIENT/client_check.mjs" "http://127.0.0.1:$PORT/mcp" "$TOKEN" "$T/calls.json" "$T/ours.json"

log "notmuch search"
queries=("from:$address" "$dates" "from:$address")
for i in 0 1 2; do
  timings notmuch search --output=summary --sort=newest-first --limit=50 "${queries[$i]}" > "$T/nm.$i"
  notmuch search --output=messages --sort=newest-first --limit=50 "${queries[$i]}" | wc -l > "$T/rows.$i"
done
timings notmuch search --output=threads --sort=newest-first --limit=25 '*' > "$T/nm.3"
notmuch search --output=threads --sort=newest-first --limit=25 '*' | wc -l > "$T/rows.3"

/usr/bin/python3 - "$T" "$RUNS" "$stored" "$address" "$dates" <<'EOF'
import json, sys
T, runs, stored, address, dates = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
def p(xs, q):
    xs = sorted(xs); return xs[min(len(xs) - 1, max(0, int(len(xs) * q + 0.999) - 1))]
def p50(xs):
    xs = sorted(xs); n = len(xs); return xs[n // 2] if n % 2 else (xs[n // 2 - 1] + xs[n // 2]) / 2
ours = json.load(open(f"{T}/ours.json"))
assert not ours["errors"], ours["errors"]
rows = ["advanced_search_mail from", "advanced_search_mail date range", "search_mail_address", "list_recent_threads 25"]
against = [f"from:{address}", dates, f"from:{address}", "--output=threads '*'"]
print(f"# structured MCP tools (warm client) vs notmuch search: {stored} messages stored, {runs} runs\n")
print("| tool | rows | notmuch query | rows | tool p50 / p95 ms | notmuch p50 / p95 ms | ratio p50 / p95 |")
print("|---|---:|---|---:|---:|---:|---:|")
for i, name in enumerate(rows + ["mail_stats"]):
    t = ours["timings_ms"][i * (runs + 1) + 1:(i + 1) * (runs + 1)]
    data = json.loads(ours["calls"][i]["result"]["content"][0]["text"].split("\n", 1)[1])
    if i == len(rows):
        print(f"| mail_stats | {data['summary']['total_messages']} counted | | | {p50(t):.1f} / {p(t, .95):.1f} | | |")
        continue
    n = len(data.get("emails", data.get("threads", [])))
    # Both sides must have found rows, or the timings compare no work.
    assert n > 0 and int(open(f"{T}/rows.{i}").read()) > 0, (name, n)
    nm = [float(x) for x in open(f"{T}/nm.{i}")]
    print(f"| {name} | {n} | `{against[i]}` | {open(f'{T}/rows.{i}').read().strip()} | {p50(t):.1f} / {p(t, .95):.1f} | "
          f"{p50(nm):.1f} / {p(nm, .95):.1f} | {p50(t) / p50(nm):.2f} / {p(t, .95) / p(nm, .95):.2f} |")
EOF
