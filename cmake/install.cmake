# What `cmake --install` puts under the prefix: the zelbo command, the library with its public
# headers, a CMake package (find_package(zelbo CONFIG) gives zelbo::zelbo) and a pkg-config
# file; the Python module goes in with it (python/CMakeLists.txt). `cpack -G DEB` packs the
# same.
include(CMakePackageConfigHelpers)

set(ZELBO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zelbo)
install(TARGETS zelbo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zelbo_core EXPORT zelboTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/zelbo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT zelboTargets NAMESPACE zelbo:: DESTINATION ${ZELBO_CMAKE_DIR})
configure_package_config_file(cmake/zelboConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/zelboConfig.cmake
                              INSTALL_DESTINATION ${ZELBO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zelboConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zelboConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/zelboConfigVersion.cmake
        DESTINATION ${ZELBO_CMAKE_DIR})
# The pkg-config file finds the prefix from where it lies, so that any prefix works.
file(RELATIVE_PATH ZELBO_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/zelbo.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zelbo.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zelbo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME zelbo)
set(CPACK_PACKAGE_VENDOR "the zelbo developers")
set(CPACK_PACKAGE_CONTACT "zelbo developers <zelbo@zelbo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monte Carlo timing analysis of stochastic timed Petri nets")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The static library needs pugixml at link time; a consumer's build needs its headers too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpugixml-dev")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
