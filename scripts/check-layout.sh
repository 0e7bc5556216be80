#!/usr/bin/env bash
# Keeps the top-level folders a ladder. Reads the floors from the table in
# docs/layout.md, draws the include graph of the folders from every C and
# C++ file outside tests/, and fails naming each include that reaches a
# folder on the same floor (sideways) or above (upward), or a folder the
# table does not name. --graph prints the folder graph as well.
#   scripts/check-layout.sh [--graph] [source root]
set -euo pipefail
graph=0
if [[ ${1:-} == --graph ]]; then
  graph=1
  shift
fi
cd "${1:-$(dirname "$0")/..}"
ladder=docs/layout.md
[[ -f $ladder ]] || { echo "check-layout: $ladder is missing" >&2; exit 1; }

# Tracked and new files alike, so an include added but not yet committed is
# seen; the build folders are ignored by git. Without git, the tree minus
# the build folders.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  list_files() { git ls-files -co --exclude-standard; }
else
  list_files() { find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sed 's|^\./||'; }
fi
files=$(list_files | grep -E '\.(c|cc|cpp|h|hpp)$' | sort -u)
# tests/ at any depth is outside the ladder: a test may drive any floor.
sources=$(grep -Ev '(^|/)tests/' <<<"$files" || true)

{
  echo "#ladder"
  cat "$ladder"
  echo "#files"
  echo "$files"
  echo "#includes"
  # One line per include: file, line number, the included path.
  if [[ -n $sources ]]; then
    tr '\n' '\0' <<<"$sources" |
      xargs -0 grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^">]+[">]' || true
  fi
} | awk -v graph="$graph" -v ladder_name="$ladder" '
function top(path) { return index(path, "/") ? substr(path, 1, index(path, "/") - 1) : "." }
# "a/b/../c" -> "a/c"; "" when it climbs out of the tree.
function normal(path,   n, parts, out, i, k) {
  n = split(path, parts, "/")
  k = 0
  for (i = 1; i <= n; i++) {
    if (parts[i] == "" || parts[i] == ".") continue
    if (parts[i] == "..") { if (k == 0) return ""; k--; continue }
    out[++k] = parts[i]
  }
  path = ""
  for (i = 1; i <= k; i++) path = path (i > 1 ? "/" : "") out[i]
  return path
}
/^#ladder$/ { part = "ladder"; next }
/^#files$/ { part = "files"; next }
/^#includes$/ { part = "includes"; next }
# A floor row: | 3 | `toolkit/` | holds | may use |
part == "ladder" && /^\|[ \t]*[0-9]+[ \t]*\|[ \t]*`[^`]+\/`/ {
  split($0, cell, "|")
  floor_no = cell[2] + 0
  name = cell[3]
  gsub(/[ \t`\/]/, "", name)
  floor[name] = floor_no
  floors++
  next
}
part == "files" { known[$0] = 1; next }
part == "includes" {
  # file:line:#include "path"
  colon = index($0, ":"); file = substr($0, 1, colon - 1); rest = substr($0, colon + 1)
  colon = index(rest, ":"); line = substr(rest, 1, colon - 1); text = substr(rest, colon + 1)
  match(text, /[<"][^">]+[">]/)
  quoted = substr(text, RSTART, 1) == "\""
  included = substr(text, RSTART + 1, RLENGTH - 2)
  # As the compiler looks: beside the file first (quoted only), then from
  # the source root; anything else is a system or generated header.
  target = ""
  if (quoted) {
    dir = file; sub(/\/?[^\/]*$/, "", dir)
    beside = normal((dir == "" ? "" : dir "/") included)
    if (beside != "" && (beside in known)) target = beside
  }
  if (target == "") {
    rooted = normal(included)
    if (rooted != "" && (rooted in known)) target = rooted
  }
  if (target == "") next
  from = top(file); to = top(target)
  if (from == to) next
  edges[from " -> " to]++
  if (!(from in floor)) { unknown[from] = 1; next }
  if (!(to in floor)) {
    printf "%s:%s: includes \"%s\" of %s/, which is not a floor of %s\n", file, line, included, to, ladder_name
    bad++
    next
  }
  if (floor[to] >= floor[from]) {
    printf "%s:%s: includes \"%s\": %s/ (floor %d) may not use %s/ (floor %d, %s)\n", file, line, included,
           from, floor[from], to, floor[to], floor[to] == floor[from] ? "sideways" : "upward"
    bad++
  }
}
END {
  if (!floors) { print "check-layout: no floor rows in " ladder_name; exit 1 }
  for (f in unknown) { printf "%s/: holds sources but is not a floor of %s\n", f, ladder_name; bad++ }
  if (graph) {
    n = 0
    for (e in edges) list[++n] = e
    # Small n: insertion sort keeps this to plain awk.
    for (i = 2; i <= n; i++) { v = list[i]; for (j = i - 1; j > 0 && list[j] > v; j--) list[j + 1] = list[j]; list[j + 1] = v }
    for (i = 1; i <= n; i++) printf "%s (%d includes)\n", list[i], edges[list[i]]
  }
  if (bad) { printf "check-layout: %d include(s) against the ladder of %s\n", bad, ladder_name; exit 1 }
}'
