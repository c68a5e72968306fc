# NOX re-import end to end: the shipped writer and viewer, the viewer copied beside the test
# program where a host ships it, so that binding from the default location is what runs.
set(KS_NOX_REIMPORT_DIR ${CMAKE_BINARY_DIR}/tests/nox_reimport)
add_custom_command(OUTPUT ${KS_NOX_REIMPORT_DIR}/libKestrionLyrantAPI.so
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KS_NOX_REIMPORT_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ks_lyrant> ${KS_NOX_REIMPORT_DIR}/
    DEPENDS ks_lyrant)
add_custom_target(ks_nox_reimport_viewer DEPENDS ${KS_NOX_REIMPORT_DIR}/libKestrionLyrantAPI.so)

add_executable(ks_nox_reimport_tests nox_reimport_roundtrip_test.cpp)
set_target_properties(ks_nox_reimport_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KS_NOX_REIMPORT_DIR})
target_include_directories(ks_nox_reimport_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/..)
target_link_libraries(ks_nox_reimport_tests PRIVATE ks_formats_internal GTest::gtest_main)
target_compile_definitions(ks_nox_reimport_tests PRIVATE KS_TEST_TMP_DIR="${CMAKE_BINARY_DIR}/tests/tmp")
add_dependencies(ks_nox_reimport_tests ks_noxwriter ks_nox_reimport_viewer)
ks_set_warnings(ks_nox_reimport_tests)
# The writer is loaded by bare name from the project's library folder.
gtest_discover_tests(ks_nox_reimport_tests
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/lib")
