# The Windows build's runnable folder, gathered as windeployqt would gather it:
# TarvikBackUp.exe with the Qt DLLs, the windows platform plugin, the Vista
# style, libjpeg and the MinGW run-time DLLs beside it, in
# ${CMAKE_BINARY_DIR}/TarvikBackUp. Copying that folder to a Windows machine is
# the whole installation.
#
# The tests load the same DLLs from there, find Qt6Test.dll beside them and
# their platform plugins (offscreen too, for `-platform offscreen`) in
# ${CMAKE_BINARY_DIR}/plugins.

set(TARVIK_DEPLOY_DIR "${CMAKE_BINARY_DIR}/TarvikBackUp")
set(TARVIK_TEST_PLUGIN_DIR "${CMAKE_BINARY_DIR}/plugins")

# The compiler's own run-time DLLs, which Qt and the program share.
set(runtime_dlls)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    list(APPEND runtime_dlls "${path}")
endforeach()

# libjpeg's DLL lies in the bin folder beside the lib folder of its import
# library.
find_package(JPEG REQUIRED)
get_target_property(jpeg_import JPEG::JPEG IMPORTED_LOCATION_RELEASE)
if(NOT jpeg_import)
    get_target_property(jpeg_import JPEG::JPEG IMPORTED_LOCATION)
endif()
get_filename_component(jpeg_prefix "${jpeg_import}" DIRECTORY)
file(GLOB jpeg_dll "${jpeg_prefix}/../bin/libjpeg*.dll")
if(NOT jpeg_dll)
    message(FATAL_ERROR "No libjpeg DLL beside ${jpeg_import}")
endif()

set(qt_dlls $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
set(windows_plugin $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
set(style_plugin $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)

add_custom_target(deploy ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory
            "${TARVIK_DEPLOY_DIR}/platforms" "${TARVIK_DEPLOY_DIR}/styles"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            $<TARGET_FILE:TarvikBackUp> ${qt_dlls} ${jpeg_dll} ${runtime_dlls}
            "${TARVIK_DEPLOY_DIR}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${windows_plugin} "${TARVIK_DEPLOY_DIR}/platforms"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${style_plugin} "${TARVIK_DEPLOY_DIR}/styles"
    COMMAND ${CMAKE_COMMAND} -E make_directory
            "${TARVIK_TEST_PLUGIN_DIR}/platforms" "${TARVIK_TEST_PLUGIN_DIR}/styles"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${windows_plugin}
            $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin> "${TARVIK_TEST_PLUGIN_DIR}/platforms"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${style_plugin} "${TARVIK_TEST_PLUGIN_DIR}/styles"
    # QtTest, which only the tests need, beside them.
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/tests"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::Test> "${CMAKE_BINARY_DIR}/tests"
    DEPENDS TarvikBackUp
    COMMENT "Gathering the runnable folder ${TARVIK_DEPLOY_DIR}"
    VERBATIM)

# The tests' DLLs, on Wine's PATH (the Unix root is the drive Z:). Wine hands
# no QT_ variable on to Windows programs, so the tests run on the windows
# platform plugin, which Qt finds in the plugins folder beside the folder that
# holds Qt6Core.dll.
if(CMAKE_CROSSCOMPILING)
    set(TARVIK_TEST_ENVIRONMENT "WINEPATH=Z:${TARVIK_DEPLOY_DIR}")
endif()
