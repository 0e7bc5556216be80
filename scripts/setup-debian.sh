#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root, or
# with sudo available). Safe to run again. The packages are listed one a
# line in scripts/packages/*.txt (the build's, and the real peers the tests
# start: Dovecot, an SMTP server and the like).
set -euo pipefail
cd "$(dirname "$0")"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
mapfile -t pkgs < <(cat packages/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${pkgs[@]}"
