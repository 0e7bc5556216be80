#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root, or
# with sudo available). Safe to run again.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  libsqlite3-dev sqlite3 libssl-dev openssl zlib1g zlib1g-dev \
  googletest libgtest-dev libbenchmark-dev \
  ca-certificates curl python3
