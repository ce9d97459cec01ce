# Shared build rules: warnings as errors on our own code, and one helper that
# turns a test source into a test executable registered with CTest.

set(TARVIK_TEST_DATA_DIR "${PROJECT_SOURCE_DIR}/tests/data")

function(tarvik_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    endif()
endfunction()

# tarvik_add_test(<name> [QT] SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [LABELS <l...>])
# Every test runs on Qt's offscreen platform, knows where the golden files are,
# and is killed when it runs past its timeout. QT marks a QtTest test: it links
# Qt's test library and gets moc; the Qt-free tests get neither.
function(tarvik_add_test name)
    cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
        # A window's test under Wine takes several times as long.
        if(WIN32 AND CMAKE_CROSSCOMPILING)
            set(T_TIMEOUT 180)
        endif()
    endif()
    add_executable(${name} ${T_SOURCES})
    # One folder for every layer's tests, where the lanes and the tests that
    # start each other look for them.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${T_LIBS})
    if(T_QT)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
    target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")
    target_compile_definitions(${name} PRIVATE
        TARVIK_TEST_DATA="${TARVIK_TEST_DATA_DIR}"
        TARVIK_BINARY_DIR="${PROJECT_BINARY_DIR}")
    tarvik_warnings(${name})
    # QtTest's plain report goes to the debugger on Windows; under Wine the
    # Windows build's QtTest tests report in TAP on their output instead.
    set(arguments)
    if(WIN32 AND CMAKE_CROSSCOMPILING AND T_QT)
        set(arguments -o -,tap)
    endif()
    add_test(NAME ${name} COMMAND ${name} ${arguments})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        # The interpreter records its runs under XDG_STATE_HOME, and a program
        # outside the user's folders keeps its settings under XDG_CONFIG_HOME:
        # never in the real home from a test.
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_STATE_HOME=${PROJECT_BINARY_DIR}/Testing/state;XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/Testing/config;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    # Where the Windows build's tests find Qt (cmake/DeployWindows.cmake).
    if(TARVIK_TEST_ENVIRONMENT)
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${TARVIK_TEST_ENVIRONMENT})
    endif()
endfunction()

# tarvik_picture_program(<target> <source> <custom target> <folder> <comment> LIBS <targets...>)
# A program that draws pictures into the folder it is given, and the custom
# target that runs it on Qt's offscreen platform into <folder>.
function(tarvik_picture_program target source custom folder comment)
    cmake_parse_arguments(P "EXCLUDE_FROM_ALL" "" "LIBS" ${ARGN})
    if(P_EXCLUDE_FROM_ALL)
        add_executable(${target} EXCLUDE_FROM_ALL ${source})
    else()
        add_executable(${target} ${source})
    endif()
    target_link_libraries(${target} PRIVATE ${P_LIBS})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    tarvik_warnings(${target})
    add_custom_target(${custom}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:${target}> ${folder}
        DEPENDS ${target}
        COMMENT "${comment}")
endfunction()
