# NOX re-import end to end: the shipped writer and viewer, the viewer copied beside the test
# program where a host ships it, so that binding from the default location is what runs.
set(KS_NOX_REIMPORT_DIR ${CMAKE_BINARY_DIR}/tests/nox_reimport)
add_custom_command(OUTPUT ${KS_NOX_REIMPORT_DIR}/libKestrionLyrantAPI.so
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KS_NOX_REIMPORT_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ks_lyrant> ${KS_NOX_REIMPORT_DIR}/
    DEPENDS ks_lyrant)
add_custom_target(ks_nox_reimport_viewer DEPENDS ${KS_NOX_REIMPORT_DIR}/libKestrionLyrantAPI.so)

# The writer is loaded by bare name from the project's library folder.
ks_add_test(ks_nox_reimport_tests
    FILES nox_reimport_roundtrip_test.cpp
    LINK ks_formats_internal
    DEPENDS ks_noxwriter ks_nox_reimport_viewer
    ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/lib")
set_target_properties(ks_nox_reimport_tests PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${KS_NOX_REIMPORT_DIR})
