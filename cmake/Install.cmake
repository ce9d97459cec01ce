# Installation for one user (default prefix ~/.local, see the Makefile):
#
#   <prefix>/lib/tarvikbackup/       the program and its interpreter; the
#                                    program writes its settings file here
#   <prefix>/bin/tarvikbackup        launcher on the user's PATH
#   <prefix>/share/applications/     desktop entry
#   <prefix>/share/icons/hicolor/    application icon
#
# The install also writes <prefix>/lib/tarvikbackup/uninstall.txt, the list of
# every file it wrote and every folder it had to create, so that
# cmake/Uninstall.cmake removes exactly those and nothing else (never the
# settings file, which the program wrote itself).

set(TARVIK_INSTALL_DIR lib/tarvikbackup)
set(TARVIK_ICON_SIZES 16 32 48 64)

set(_created_dirs_candidates
    bin lib ${TARVIK_INSTALL_DIR} share share/applications share/icons share/icons/hicolor)
foreach(size IN LISTS TARVIK_ICON_SIZES)
    list(APPEND _created_dirs_candidates
        share/icons/hicolor/${size}x${size} share/icons/hicolor/${size}x${size}/apps)
endforeach()

# Folders an earlier install created still count as ours when installing
# again, and so do its files that this one does not write (an earlier
# version's): the uninstall removes them too.
install(CODE "
    set(TARVIK_CREATED_DIRS \"\")
    set(TARVIK_EARLIER_FILES \"\")
    set(_earlier \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARVIK_INSTALL_DIR}/uninstall.txt\")
    if(EXISTS \"\${_earlier}\")
        file(STRINGS \"\${_earlier}\" _entries REGEX \"^(dir|file) \")
        foreach(entry IN LISTS _entries)
            if(entry MATCHES \"^dir (.+)$\")
                list(APPEND TARVIK_CREATED_DIRS \"\${CMAKE_MATCH_1}\")
            elseif(entry MATCHES \"^file (.+)$\")
                list(APPEND TARVIK_EARLIER_FILES \"\${CMAKE_MATCH_1}\")
            endif()
        endforeach()
    endif()
    foreach(dir IN ITEMS ${_created_dirs_candidates})
        if(NOT EXISTS \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${dir}\")
            list(APPEND TARVIK_CREATED_DIRS \"\${CMAKE_INSTALL_PREFIX}/\${dir}\")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES TARVIK_CREATED_DIRS)
")

install(TARGETS TarvikBackUp minicmd RUNTIME DESTINATION ${TARVIK_INSTALL_DIR})

foreach(size IN LISTS TARVIK_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/pictures/application-${size}.png
        DESTINATION share/icons/hicolor/${size}x${size}/apps
        RENAME tarvikbackup.png)
endforeach()

# The launcher and the desktop entry name the installed program by its full
# path, which is known only at install time (cmake --install --prefix).
set(_desktop_dir ${PROJECT_SOURCE_DIR}/resources/desktop)
install(CODE "
    set(TARVIK_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${TARVIK_INSTALL_DIR}/TarvikBackUp\")
    set(TARVIK_INTERPRETER \"\${CMAKE_INSTALL_PREFIX}/${TARVIK_INSTALL_DIR}/minicmd\")
    set(TARVIK_LAUNCHER \"\${CMAKE_INSTALL_PREFIX}/bin/tarvikbackup\")
    set(_stage \"${PROJECT_BINARY_DIR}/install-stage\")
    configure_file(\"${_desktop_dir}/tarvikbackup.in\" \"\${_stage}/tarvikbackup\" @ONLY)
    configure_file(\"${_desktop_dir}/tarvikbackup.desktop.in\" \"\${_stage}/tarvikbackup.desktop\" @ONLY)
    file(INSTALL \"\${_stage}/tarvikbackup\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/bin\"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    file(INSTALL \"\${_stage}/tarvikbackup.desktop\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
")

install(CODE "
    set(_list \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARVIK_INSTALL_DIR}/uninstall.txt\")
    set(_text \"\")
    set(_files \${CMAKE_INSTALL_MANIFEST_FILES}
        \"\${CMAKE_INSTALL_PREFIX}/${TARVIK_INSTALL_DIR}/uninstall.txt\" \${TARVIK_EARLIER_FILES})
    list(REMOVE_DUPLICATES _files)
    foreach(file IN LISTS _files)
        string(APPEND _text \"file \${file}\\n\")
    endforeach()
    foreach(dir IN LISTS TARVIK_CREATED_DIRS)
        string(APPEND _text \"dir \${dir}\\n\")
    endforeach()
    file(WRITE \"\${_list}\" \"\${_text}\")
    message(STATUS \"Uninstall list: \${_list}\")
")
