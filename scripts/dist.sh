#!/usr/bin/env bash
# make dist: the downloads, into build/dist, named after the project's version
# (CMakeLists.txt): the Debian package from the plain build, the Windows zip
# and installer from the MinGW build (building Qt for MinGW first, once per
# machine, as the Wine lane does), and SHA256SUMS of the three.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/mingw-prefixes.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target deploy

out=build/dist
rm -rf "$out"
mkdir -p "$out"
files=()
files+=("$(scripts/make-deb.sh build/default "$out")")
while read -r file; do files+=("$file"); done < <(scripts/make-windows-dist.sh build/mingw "$out")
(cd "$out" && sha256sum -- "${files[@]##*/}" >SHA256SUMS)
echo "make dist: in $out:"
(cd "$out" && ls -l -- "${files[@]##*/}" SHA256SUMS)
