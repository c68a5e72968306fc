# Installation: headers, the library, the CMake package NOXFormats and noxformats.pc.
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ks_formats
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS NOXFormats_32_Ext EXPORT NOXFormatsTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT NOXFormatsTargets NAMESPACE NOXFormats::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/NOXFormats)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NOXFormatsConfig.cmake.in
    ${CMAKE_BINARY_DIR}/NOXFormatsConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/NOXFormats)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/NOXFormatsConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/NOXFormatsConfig.cmake
              ${CMAKE_BINARY_DIR}/NOXFormatsConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/NOXFormats)

# The .pc file finds the prefix from its own folder, so an installed tree can be moved.
file(RELATIVE_PATH KS_PC_PREFIX_FROM_PCDIR "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig"
     "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" KS_PC_PREFIX_FROM_PCDIR "${KS_PC_PREFIX_FROM_PCDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/noxformats.pc.in ${CMAKE_BINARY_DIR}/noxformats.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/noxformats.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
