#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  libboost-dev libboost-system-dev
  libjsoncpp-dev
  libzmq3-dev cppzmq-dev
  libcurl4-openssl-dev
  libhiredis-dev
  prometheus-cpp-dev
  libsystemd-dev
  libgtest-dev libgmock-dev
  redis-server
  dpkg-dev file groff-base
  gcovr
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
