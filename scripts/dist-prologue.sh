# Sourced by the scripts that build a download from a built tree, called as
#   script BINARY_DIR OUTPUT_DIR
# Sets src (the source tree), bin and out (both absolute), version (the
# project's, from the build's cache) and work (a folder removed on exit).
# $1 names the calling script in its errors.
distPrologue()
{
    local name=$1
    src=$(cd "$(dirname "$0")/.." && pwd)
    bin=$(cd "$2" && pwd)
    mkdir -p "$3"
    out=$(cd "$3" && pwd)
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$bin/CMakeCache.txt")
    [ -n "$version" ] || { echo "$name: no project version in $bin/CMakeCache.txt" >&2; exit 1; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}
