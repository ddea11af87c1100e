#!/usr/bin/env bash
# What the build, the tools and the native tests need (amsynth: a third-party
# VST 2.4 instrument the host kit is tested with; groff checks the manual page;
# lv2-dev: the LV2 headers the LV2 instrument is built with; liblilv-dev: the
# host kit's LV2 loader; mda-lv2: third-party LV2 instruments it is tested with).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/apt-install.sh" build-essential cmake pkg-config libgtest-dev libbenchmark-dev \
  libsndfile1-dev libcli11-dev amsynth groff-base lv2-dev liblilv-dev mda-lv2
