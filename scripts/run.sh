#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --run
jobs=$(nproc)
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
exec out/dev/bin/sorvanti "$@"
