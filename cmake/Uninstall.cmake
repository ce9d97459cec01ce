# Removes what the install wrote, as listed in <PREFIX>/lib/tarvikbackup/uninstall.txt:
# the files, then the folders the install created, deepest first and only when
# empty (so the settings file, and the folder that holds it, stay).
#
#   cmake -DPREFIX=<prefix> -P cmake/Uninstall.cmake

if(NOT PREFIX)
    message(FATAL_ERROR "Give the install prefix: cmake -DPREFIX=<prefix> -P Uninstall.cmake")
endif()
set(_list "${PREFIX}/lib/tarvikbackup/uninstall.txt")
if(NOT EXISTS "${_list}")
    message(STATUS "Nothing to uninstall: ${_list} does not exist")
    return()
endif()

file(STRINGS "${_list}" _entries)
set(_dirs "")
foreach(entry IN LISTS _entries)
    if(entry MATCHES "^file (.+)$")
        if(EXISTS "${CMAKE_MATCH_1}" OR IS_SYMLINK "${CMAKE_MATCH_1}")
            message(STATUS "Removing ${CMAKE_MATCH_1}")
            file(REMOVE "${CMAKE_MATCH_1}")
        endif()
    elseif(entry MATCHES "^dir (.+)$")
        list(APPEND _dirs "${CMAKE_MATCH_1}")
    endif()
endforeach()

# Deepest first: a longer path sorts after its parent, so reverse the order.
list(SORT _dirs)
list(REVERSE _dirs)
foreach(dir IN LISTS _dirs)
    if(IS_DIRECTORY "${dir}")
        file(GLOB _left "${dir}/*" "${dir}/.*")
        if(_left)
            message(STATUS "Keeping ${dir}: it holds files the install did not write")
        else()
            file(REMOVE_RECURSE "${dir}")
        endif()
    endif()
endforeach()
