#!/usr/bin/env bash
# Installs Debian packages that are not installed yet. Runs apt-get update once
# per boot (before the first install) and waits for another apt to finish.
set -euo pipefail
missing=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
stamp=/tmp/.quorvel-apt-updated
if [ ! -f "$stamp" ]; then
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  touch "$stamp"
fi
echo "installing: ${missing[*]}"
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
