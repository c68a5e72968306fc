#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those that are missing).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libzstd-dev libxml2-dev
          libcli11-dev zstd libxxhash-dev libpng-dev nlohmann-json3-dev clang-format
          # The Python package (python/): bindings, numpy, Dask and the test runner, all for
          # Debian's /usr/bin/python3.
          python3-dev pybind11-dev python3-pybind11 python3-numpy python3-distributed
          python3-pytest python3-psutil
          # noxconvert view: the HTTP server library, and Chromium for the page's browser tests.
          libcpp-httplib-dev chromium)
# The view page is built with Node.js and npm; a machine that has them (from any source) keeps
# them, one without gets Debian's.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "$(dirname "$0")/apt-update.sh"
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
