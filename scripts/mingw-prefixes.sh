# Sourced from the repository's root by the scripts that build for Windows:
# exports TARVIK_MINGW_QT and TARVIK_MINGW_JPEG, the prefixes of Qt and
# libjpeg built for MinGW, building them into the cache under HOME the first
# time (scripts/build-mingw-deps.sh). Prefixes already set are kept.
if [ -z "${TARVIK_MINGW_QT:-}" ] || [ -z "${TARVIK_MINGW_JPEG:-}" ]; then
    TARVIK_MINGW_JPEG=$(scripts/build-mingw-deps.sh jpeg | tail -n1)
    TARVIK_MINGW_QT=$(scripts/build-mingw-deps.sh qt | tail -n1)
    export TARVIK_MINGW_QT TARVIK_MINGW_JPEG
fi
