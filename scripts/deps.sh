#!/usr/bin/env bash
# What the build, the tools and the native tests need (amsynth: a third-party
# VST 2.4 instrument the host kit is tested with; groff checks the manual page).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/apt-install.sh" build-essential cmake pkg-config libgtest-dev libbenchmark-dev \
  libsndfile1-dev libcli11-dev amsynth groff-base
