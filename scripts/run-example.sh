#!/usr/bin/env bash
# Builds the driver and the host program, and runs the example plant.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh example
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DDCS_BUILD_TESTS=OFF >/dev/null
cmake --build build/example -j "$(nproc)" --target dcs-host mrxnt
build/example/host/dcs-host run examples/plant/plant.toml --steps 20 \
  --csv build/example/plant.csv --plot build/example/plant.svg --html build/example/plant.html
echo "wrote build/example/plant.csv, build/example/plant.svg and build/example/plant.html"
