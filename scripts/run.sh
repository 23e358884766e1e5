#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --run
jobs=$(nproc)
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
# The sample workspace, built in the prefix the program uses (the same choice as the
# program makes) when it is not there yet, so that work done on it is never lost;
# SORVANTI_REBUILD_SAMPLES=1 builds it anew, SORVANTI_NO_SAMPLES=1 leaves the prefix alone.
if [ "${SORVANTI_NO_SAMPLES:-0}" != 1 ]; then
    prefix=${SORVANTI_PREFIX:-${WINEPREFIX:-}}
    if [ -z "$prefix" ]; then
        data=${XDG_DATA_HOME:-}
        case "$data" in
            /*) ;;
            *) data="${HOME:-/tmp}/.local/share" ;;
        esac
        prefix="$data/sorvanti/prefix"
    fi
    if [ "${SORVANTI_REBUILD_SAMPLES:-0}" = 1 ] ||
            [ ! -f "$prefix/drive_c/sorvanti-samples/pb.ini" ]; then
        bash scripts/make-sample-workspace.sh "$prefix" out/dev/orca/pblutil
    fi
fi
exec out/dev/bin/sorvanti "$@"
