#!/usr/bin/env bash
# Fails when a file includes a header of a layer it must not reach. Arrows point
# down only: app -> gui -> core -> platform; minicmd stands alone. Every include
# of the program's own headers names its layer ("platform/System.h"), so this
# reads the rule off the include lines themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
# layer:folders it must not include from
rules=(
    "platform:core gui app tools minicmd"
    "core:gui app tools minicmd"
    "gui:app tools minicmd"
    "minicmd:core platform gui app tools"
)
for rule in "${rules[@]}"; do
    layer=${rule%%:*}
    forbidden=${rule#*:}
    pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*\"(${forbidden// /|})/"
    if hits=$(grep -rnE --include='*.cpp' --include='*.h' "$pattern" "$layer"); then
        echo "$layer reaches a layer above it or beside it:" >&2
        echo "$hits" >&2
        status=1
    fi
done

# A program header included without its folder hides which layer it comes from.
bare='^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+\.h"'
if hits=$(grep -rnE --include='*.cpp' --include='*.h' "$bare" core platform gui minicmd app tools); then
    echo "includes that do not name their layer (write \"layer/File.h\"):" >&2
    echo "$hits" >&2
    status=1
fi
# The map must not name a file the tree no longer has. A name with a folder
# is found where its folders say (under any layer); a bare name anywhere.
tree=$(find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||')
missing=()
while read -r name; do
    pattern="(^|/)${name//./\\.}\$"
    grep -qE "$pattern" <<<"$tree" || missing+=("$name")
done < <(grep -oE '[A-Za-z0-9_./-]+\.(cpp|h|sh|cmake|txt|json|qrc|rc|md|py|patch)\b' ARCHITECTURE.md |
    sed 's|^\./||' | sort -u)
if [ "${#missing[@]}" -gt 0 ]; then
    echo "ARCHITECTURE.md names files that are not there:" "${missing[@]}" >&2
    status=1
fi

[ "$status" -eq 0 ] && echo "layers: every include points down; every file the map names is there"
exit "$status"
