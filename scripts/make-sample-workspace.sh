#!/usr/bin/env bash
# Builds the sample workspace into a prefix: the libraries of samples/ in
# drive_c/sorvanti-samples, the pb.ini that lists their two applications, and the
# [PowerBuilder] InitPath keys of WIN.INI that lead to that pb.ini.
#
#   make-sample-workspace.sh PREFIX PBLUTIL
#
# Running it again rebuilds the libraries and pb.ini from samples/ (changes made to
# them in between are lost) and leaves every other line of WIN.INI as it was.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PREFIX PBLUTIL" >&2
    exit 2
fi
prefix=$1
pblutil=$2
samples="$(cd "$(dirname "$0")/.." && pwd)/samples"
target="$prefix/drive_c/sorvanti-samples"
windir='c:\sorvanti-samples'

[ -x "$pblutil" ] || { echo "$0: $pblutil is not an executable" >&2; exit 1; }
[ -d "$samples" ] || { echo "$0: no samples folder at $samples" >&2; exit 1; }

# Library (a folder of samples/) and its comment.
libraries=(
    "ordbase:Order desk base classes, shared with stock"
    "ordutil:Order desk functions, structures and rules"
    "orddw:Order desk datawindows and queries"
    "orders:Order desk application"
    "stock:Stock keeping application"
)

mkdir -p "$target" "$prefix/drive_c/windows"
# Built beside the final place, then moved in, so that a failed import leaves the
# previous libraries in place.
staging=$(mktemp -d "$target/.build.XXXXXX")
trap 'rm -rf "$staging"' EXIT

for item in "${libraries[@]}"; do
    name=${item%%:*}
    comment=${item#*:}
    mkdir -p "$staging/$name"
    # The sources are kept with LF line ends; exported sources, and so the stored
    # ones, end their lines with CR LF.
    for source in "$samples/$name"/*.sr?; do
        sed 's/\r*$/\r/' "$source" >"$staging/$name/$(basename "$source")"
    done
    "$pblutil" create "$staging/$name.pbl" "$comment" >/dev/null
    "$pblutil" import "$staging/$name.pbl" "$staging/$name"/*.sr? >/dev/null
done
for item in "${libraries[@]}"; do
    name=${item%%:*}
    mv -f "$staging/$name.pbl" "$target/$name.pbl"
done

# ordarch.pbl is listed but never built: the order desk shows it as an invalid library.
orders_path="$windir\\orders.pbl;$windir\\ordbase.pbl;$windir\\ordutil.pbl;$windir\\orddw.pbl;$windir\\ordarch.pbl"
stock_path="$windir\\stock.pbl;$windir\\ordbase.pbl"
{
    printf '[PB]\r\n'
    printf 'Maximized=1\r\n'
    printf 'CompilerWarnings=1\r\n'
    printf 'DashesInIdentifiers=1\r\n'
    printf '\r\n'
    printf '[Application]\r\n'
    printf 'DefLib=%s\\orders.pbl\r\n' "$windir"
    printf 'AppName=orders\r\n'
    printf 'AppLib=%s\\orders.pbl\r\n' "$windir"
    printf '$%s\\orders.pbl(orders)=%s\r\n' "$windir" "$orders_path"
    printf '$%s\\stock.pbl(stock)=%s\r\n' "$windir" "$stock_path"
    printf '\r\n'
    printf '[Library]\r\n'
    printf 'SaveOnClose=1\r\n'
    printf '\r\n'
    printf '[Database]\r\n'
    printf 'Vendors=ODBC\r\n'
} >"$staging/pb.ini"
mv -f "$staging/pb.ini" "$target/pb.ini"

# WIN.INI: the InitPath keys of PowerBuilder 4, 5, 6 and 10 point at the samples. A key
# that already points elsewhere (a PowerBuilder installed in this prefix) is kept;
# other keys of [PowerBuilder] and every other section stay. The section is created at
# the end of the file when it is missing. Two passes: the first notes the keys to keep.
winini="$prefix/drive_c/windows/win.ini"
touch "$winini"
awk -v dir="$windir" '
    function section_of(line,    header) {
        header = line
        gsub(/^[ \t]*\[[ \t]*|[ \t]*\].*$/, "", header)
        return tolower(header)
    }
    function key_of(line,    key) {
        key = line
        sub(/[ \t]*=.*$/, "", key)
        sub(/^[ \t]*/, "", key)
        return tolower(key)
    }
    function value_of(line,    value) {
        value = line
        sub(/^[^=]*=[ \t]*/, "", value)
        sub(/[ \t]*$/, "", value)
        return tolower(value)
    }
    function ours(key) {
        return key == "initpath040" || key == "initpath050" || key == "initpath60" ||
               key == "initpath100"
    }
    function emit_keys(    i, key) {
        for (i = 1; i <= 4; ++i) {
            key = names[i]
            if (!(tolower(key) in keep))
                printf "%s=%s\r\n", key, dir
        }
        done = 1
    }
    BEGIN {
        names[1] = "InitPath040"; names[2] = "InitPath050"; names[3] = "InitPath60"
        names[4] = "InitPath100"
    }
    {
        line = $0
        sub(/\r$/, "", line)
    }
    FNR == NR {
        if (line ~ /^[ \t]*\[/)
            insection = (section_of(line) == "powerbuilder")
        else if (insection && index(line, "=") && ours(key_of(line)) &&
                 value_of(line) != tolower(dir) && !(key_of(line) in seen))
            keep[key_of(line)] = 1
        if (insection && index(line, "="))
            seen[key_of(line)] = 1
        next
    }
    FNR == 1 { insection = 0 }
    {
        if (line ~ /^[ \t]*\[/) {
            insection = (section_of(line) == "powerbuilder")
            print $0
            if (insection && !done)
                emit_keys()
            next
        }
        if (insection && index(line, "=") && ours(key_of(line)) && !(key_of(line) in keep))
            next
        print $0
    }
    END {
        if (!done) {
            if (FNR > 0)
                printf "\r\n"
            printf "[PowerBuilder]\r\n"
            emit_keys()
        }
    }
' "$winini" "$winini" >"$staging/win.ini"
mv -f "$staging/win.ini" "$winini"

echo "sample workspace: $target (pb.ini: $windir\\pb.ini)"
