#!/usr/bin/env bash
# The Debian packages the Linux build and its tests need: the build part of scripts/setup.sh,
# which sets up every build (kept under this name for those used to it).
set -euo pipefail
exec "$(dirname "$0")/setup.sh" build
