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
source "$(cd "$(dirname "$0")" && pwd)/mcp_bench_common.sh"

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
