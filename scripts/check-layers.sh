#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own, or when a layer without windows
# includes Qt. Run by CTest; the argument is the source tree (default: this script's).
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root/src"

# What each layer may include, its own folder first; the order of the list is the order of the layers.
declare -A allowed=(
    [engine]="engine"
    [platform]="platform engine"
    [store]="store platform engine"
    [dialogue]="dialogue store platform engine"
    [fixture]="fixture store platform engine"
    [standings]="standings store platform engine"
    [report]="report standings store platform engine"
    [platform/qt]="platform/qt platform engine"
    [viewer]="viewer dialogue store platform engine"
    [queries]="queries viewer dialogue store platform engine"
    [analysis]="analysis viewer dialogue store platform engine"
    [overview]="overview report standings store platform engine"
    [alerts]="alerts overview report standings store platform engine"
    [shell]="shell alerts overview analysis queries viewer platform/qt report standings dialogue store platform engine"
    [tools]="tools fixture report standings dialogue store platform engine"
)
without_qt=" engine platform store dialogue fixture standings report tools "

layer_of() {
    case "$1" in
        platform/qt/*) echo platform/qt ;;
        */*) echo "${1%%/*}" ;;
        *) echo "" ;;
    esac
}

bad=0
while IFS= read -r -d '' file; do
    layer=$(layer_of "$file")
    if [ -z "${allowed[$layer]+set}" ]; then
        echo "$file: the folder '$layer' has no place in the layers (scripts/check-layers.sh)"
        bad=1
        continue
    fi
    while IFS= read -r line; do
        number=${line%%:*}
        text=${line#*:}
        if [[ $text =~ \#include\ *\"([^\"]+)\" ]]; then
            included=$(layer_of "${BASH_REMATCH[1]}")
            [ -z "$included" ] && continue
            if [[ " ${allowed[$layer]} " != *" $included "* ]]; then
                echo "$file:$number: $layer includes ${BASH_REMATCH[1]}, of the layer $included above it"
                bad=1
            fi
        elif [[ $without_qt == *" $layer "* && $text =~ \#include\ *\<(Q[A-Za-z]+|Qt[A-Za-z]*/) ]]; then
            echo "$file:$number: $layer has no windows, yet includes ${text##*include }"
            bad=1
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find . \( -name '*.cpp' -o -name '*.h' \) -print0 | sed -z 's#^\./##')
[ "$bad" -eq 0 ] && echo "check-layers: every include runs down the layers"
exit "$bad"
