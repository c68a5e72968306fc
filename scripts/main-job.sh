#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs what the build needs (scripts/setup.sh
# build view), builds the library and its tools (Release), writes the sample project, converts it
# into one NOX file with a live progress display, prints what the file holds and draws a top-down
# preview.
#
#   scripts/main-job.sh [OUTPUT_FOLDER]       (default: ./sample-output)
#   POINTS=5000000 scripts/main-job.sh        (a bigger sample project; default 400000 points)
#   JOBS=2 scripts/main-job.sh                (fewer build jobs; default: every core)
set -euo pipefail
out=$(realpath -m "${1:-sample-output}")
points=${POINTS:-400000}
jobs=${JOBS:-$(nproc)}
cd "$(dirname "$0")/.."

step() { printf '\n== %s\n' "$*"; }

step "Setting up the machine for the build (scripts/setup.sh build view)"
scripts/setup.sh build view

step "Building (Release) into build-release/"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
      -DKS_BUILD_BENCHMARKS=OFF
# The view page's npm ci takes its packages from the npm cache setup filled, as the presets do.
npm_config_offline=true cmake --build build-release -j "$jobs"
bin=build-release/bin
if [ ! -x "$bin/noxconvert" ]; then
    echo "main-job: $bin/noxconvert was not built" >&2
    exit 1
fi

step "Writing the sample project into $out/project"
"$bin/make-sample-project" "$out/project" --points "$points"

step "Converting $out/project/site.rsp into $out/site.nox"
"$bin/noxconvert" convert "$out/project/site.rsp" -o "$out/site.nox"

step "What $out/site.nox holds"
"$bin/noxconvert" info "$out/site.nox"

step "Drawing the preview"
"$bin/noxconvert" preview "$out/site.nox" "$out/site-preview.png"
echo "Preview written to $out/site-preview.png: every wall of the building should appear once."
echo "To look at it in 3D in the web browser: $bin/noxconvert view $out/site.nox --open"
