#!/bin/sh
# Builds the installer: the data file that carries the packaged files (their
# contents in table order, one little-endian 32-bit size per row, then the
# 32-bit sum of every content byte) and a self-extracting archive of the
# program and that file, checked by sha256 when it starts, whose start runs
# `porlinex -installer ARCHIVE -instdata DATAFILE`.
#
#   scripts/make-setup.sh PROGRAM OUTPUT_FOLDER
#
# The browser interface's files come from the repository's web/pages/site;
# one missing or empty there stops the build, since an installed interface
# without it would not work. The shell-menu rows are always empty: they have
# no part on Linux.
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 PROGRAM OUTPUT_FOLDER" >&2
    exit 2
fi
program=$1
out=$2
web=$(cd "$(dirname "$0")/.." && pwd)/web/pages/site
mkdir -p "$out"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

/usr/bin/python3 - "$web" "$stage/porlinex.instdata" <<'PY'
import os, struct, sys
web, target = sys.argv[1], sys.argv[2]
rows = [None, None, None] + """print.css s.css ajax.js table.js upsort.gif downsort.gif darkblue.gif
greybg.gif favicon.ico settings.html backup.html log.html autoresponders.html mcp.html search.html
popupmenu.css rules.html emailaccounts.html index.html""".split()
sizes, total = [], 0
with open(target, "wb") as f:
    for name in rows:
        data = b""
        if name:
            path = os.path.join(web, name)
            if os.path.isfile(path):
                with open(path, "rb") as src:
                    data = src.read()
            if not data:
                sys.exit("make-setup: %s is missing or empty" % path)
        if len(data) >= 1 << 32:
            sys.exit("%s is too large" % name)
        f.write(data)
        sizes.append(len(data))
        total = (total + sum(data)) & 0xFFFFFFFF
    f.write(struct.pack("<%dI" % len(rows), *sizes))
    f.write(struct.pack("<I", total))
PY

cp "$program" "$stage/porlinex"
chmod 0755 "$stage/porlinex"
cat > "$stage/start.sh" <<'SH'
#!/bin/sh
# The archive's folder as the archive saw it, made absolute: this script
# runs in the folder it was unpacked to.
case "$ARCHIVE_DIR" in
/*) folder=$ARCHIVE_DIR ;;
*) folder=$USER_PWD/$ARCHIVE_DIR ;;
esac
exec ./porlinex -installer "$folder/porlinex-setup.run" -instdata ./porlinex.instdata "$@"
SH
chmod 0755 "$stage/start.sh"
cp "$stage/porlinex.instdata" "$out/porlinex.instdata"
makeself --quiet --sha256 --nox11 "$stage" "$out/porlinex-setup.run" "Porlinex" ./start.sh >/dev/null
echo "$out/porlinex-setup.run"
