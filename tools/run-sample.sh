#!/bin/bash
# Sets up and runs the main job on a sample deck: installs what it needs,
# builds the Linux program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target pelorant
./build/linux/apps/pelorant/pelorant --version
