#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --run
jobs=$(nproc)
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
# The prefix the program uses (the same choice as the program makes).
default_prefix() {
    local data=${XDG_DATA_HOME:-}
    case "$data" in
        /*) ;;
        *) data="${HOME:-/tmp}/.local/share" ;;
    esac
    echo "$data/sorvanti/$1"
}
# SORVANTI_WORKSPACE=pfc runs the program on the PowerBuilder Foundation Classes of the
# corpus beside the checkout instead, built into a prefix of their own (SORVANTI_PREFIX
# unless set) each time, since nothing there is meant to be kept.
# SORVANTI_WORKSPACE=pfc2019 does the same with the Unicode libraries of PowerBuilder 2019.
if [ "${SORVANTI_WORKSPACE:-samples}" = pfc ] || [ "${SORVANTI_WORKSPACE:-}" = pfc2019 ]; then
    corpus=${SORVANTI_CORPUS_DIR:-../shared/corpus}
    folder=pfc
    [ "$SORVANTI_WORKSPACE" = pfc2019 ] && folder=pbl-unicode
    [ -d "$corpus/$folder" ] || { echo "$0: no PFC workspace in $corpus/$folder" >&2; exit 1; }
    export SORVANTI_PREFIX=${SORVANTI_PREFIX:-$(default_prefix "$SORVANTI_WORKSPACE-prefix")}
    mkdir -p "$SORVANTI_PREFIX/drive_c"
    out/dev/orca/pblutil workspace "$corpus/$folder" "$SORVANTI_PREFIX/drive_c/$SORVANTI_WORKSPACE"
# The sample workspace, built in the prefix the program uses when it is not there yet, so
# that work done on it is never lost; SORVANTI_REBUILD_SAMPLES=1 builds it anew,
# SORVANTI_NO_SAMPLES=1 leaves the prefix alone.
elif [ "${SORVANTI_NO_SAMPLES:-0}" != 1 ]; then
    prefix=${SORVANTI_PREFIX:-${WINEPREFIX:-$(default_prefix prefix)}}
    if [ "${SORVANTI_REBUILD_SAMPLES:-0}" = 1 ] ||
            [ ! -f "$prefix/drive_c/sorvanti-samples/pb.ini" ]; then
        bash scripts/make-sample-workspace.sh "$prefix" out/dev/orca/pblutil
    fi
fi
exec out/dev/bin/sorvanti "$@"
