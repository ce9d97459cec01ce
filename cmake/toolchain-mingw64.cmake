# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, so std::thread and std::mutex work). The executables run under Wine:
# CTest starts every test through cmake/wine-run.sh.
#
# TARVIK_MINGW_PREFIXES names the folders that hold Qt and libjpeg built for
# MinGW (scripts/build-mingw-deps.sh); they are searched like the compiler's
# own folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVIK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVIK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVIK_MINGW_TRIPLE} ${TARVIK_MINGW_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without Qt, static run-time libraries: the .exe files then need no MinGW DLLs
# beside them. Qt's DLLs use the shared ones, and the program must share them
# with Qt, so with Qt they are deployed beside it instead.
if(NOT TARVIK_MINGW_PREFIXES)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
