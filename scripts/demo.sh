#!/usr/bin/env bash
# The main job: a demonstration print run on the built-in sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DIMPTHERM_TESTS=OFF >/dev/null
ninja -C build impthermorvane
exec bash scripts/demo-run.sh build/impthermorvane
