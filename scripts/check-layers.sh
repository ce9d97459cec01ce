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
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
