# ks_add_test(<name> FILES <source>...
#             [LINK <library>...] [DEFINITIONS <definition>...] [DEPENDS <target>...]
#             [ENVIRONMENT <variable=value>] [TIMEOUT <seconds>] [SERIAL]
#             [LAUNCHER <program>] [LABEL <label>])
#
# One GoogleTest program: built from FILES with the project's warnings, linked with gtest_main,
# the test-support library (ks_test_support) and LINK, and registered with ctest one test per
# test case. The cases are listed when ctest runs (PRE_TEST), so building never runs a program.
# The program is registered once more as <name>.in_one_process: all its cases in one process, as
# a host's process runs many conversions, except the suites named ...InFreshProcess, which test
# what a process sees the first time (the library's first Initialize, its first binding).
#   DEPENDS      targets the program loads at run time, built before it
#   ENVIRONMENT  set for every test of the program
#   TIMEOUT      seconds each test may take
#   SERIAL       each test runs with no other test beside it
#   LAUNCHER     runs the program, listing its tests and running each (program and arguments
#                follow it)
#   LABEL        ctest label of every test of the program; "tsan" marks the programs the
#                ThreadSanitizer build runs (the tsan presets)
#
# In the Windows build the program is registered once, as <name>.under_wine: all its tests in one
# Wine process (a Wine process costs a minute or more where qemu runs it), in the Wine session
# (the fixture wine_session of tests/win32), except the ...InFreshProcess suites; tests of a
# Linux-only mechanism are not compiled there. Its results go to wine-run/suites/<name>.xml, which scripts/build-windows.sh counts. These
# tests carry the label wine_suite: scripts/build-windows.sh runs them only when
# KS_WIN32_SUITES=1 (docs/design.md, "The whole suite under Wine").
include(GoogleTest)

function(ks_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "SERIAL" "ENVIRONMENT;TIMEOUT;LAUNCHER;LABEL"
                          "FILES;LINK;DEFINITIONS;DEPENDS")
    if(NOT ARG_FILES OR ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR
                "ks_add_test(${name}): FILES is required; not understood: ${ARG_UNPARSED_ARGUMENTS}")
    endif()

    add_executable(${name} ${ARG_FILES})
    # On Windows the main is tests/support/wine_test_main.cpp (ks_wine_test_main).
    set(test_main GTest::gtest_main)
    if(WIN32)
        set(test_main ks_wine_test_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LINK} ks_test_support ${test_main})
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
    if(ARG_DEPENDS)
        add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    ks_set_warnings(${name})
    if(WIN32)
        ks_add_wine_suite(${name} "${ARG_ENVIRONMENT}")
        return()
    endif()
    if(ARG_LAUNCHER)
        # gtest_discover_tests puts a target's emulator in front of both its listing and its runs.
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${ARG_LAUNCHER})
    endif()

    set(properties "")
    if(ARG_ENVIRONMENT)
        list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    if(ARG_TIMEOUT)
        list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
    endif()
    if(ARG_SERIAL)
        list(APPEND properties RUN_SERIAL TRUE)
    endif()
    if(ARG_LABEL)
        list(APPEND properties LABELS ${ARG_LABEL})
    endif()
    if(properties)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
    endif()

    # Its scratch folders are apart from those of the same tests run one by one, which ctest may
    # run beside it (tests/support/scratch_folder.h).
    add_test(NAME ${name}.in_one_process
             COMMAND ${ARG_LAUNCHER} $<TARGET_FILE:${name}> --gtest_filter=-*InFreshProcess.*)
    set(environment ${ARG_ENVIRONMENT} KS_TEST_RUN=in_one_process)
    set_tests_properties(${name}.in_one_process PROPERTIES ENVIRONMENT "${environment}")
    if(ARG_TIMEOUT)
        set_tests_properties(${name}.in_one_process PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
    if(ARG_SERIAL)
        set_tests_properties(${name}.in_one_process PROPERTIES RUN_SERIAL TRUE)
    endif()
    if(ARG_LABEL)
        set_tests_properties(${name}.in_one_process PROPERTIES LABELS ${ARG_LABEL})
    endif()
endfunction()

function(ks_add_wine_suite name environment)
    if(NOT KS_WINE_ENVIRONMENT)
        return()
    endif()
    # add_test() puts the toolchain's emulator (Wine in its environment) in front of the program.
    add_test(NAME ${name}.under_wine
             COMMAND ${name} --gtest_filter=-*InFreshProcess.*
                     --gtest_output=xml:${KS_TEST_PATH_ROOT}${CMAKE_BINARY_DIR}/wine-run/suites/${name}.xml)
    set_tests_properties(${name}.under_wine PROPERTIES
        ENVIRONMENT "${environment};KS_TEST_RUN=under_wine"
        FIXTURES_REQUIRED wine_session TIMEOUT 1800 LABELS wine_suite)
endfunction()
