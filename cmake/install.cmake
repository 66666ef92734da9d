# Install rules: the libraries, the public headers, the Fortran module, an
# exported CMake package (find_package(mox2 CONFIG) gives mox2::mox2_isa,
# mox2::blas and, when built, mox2::fortran) and pkg-config files
# (mox2_isa, mox2_blas).
include(CMakePackageConfigHelpers)

set(MOX2_INSTALLED_TARGETS mox2_isa mox2_blas)
if(TARGET mox2_fortran)
  list(APPEND MOX2_INSTALLED_TARGETS mox2_fortran)
  install(FILES ${PROJECT_BINARY_DIR}/fortran/mox2.mod DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endif()
install(TARGETS ${MOX2_INSTALLED_TARGETS} EXPORT mox2Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/mox2_isa.h
              ${PROJECT_SOURCE_DIR}/include/mox2_isa_entries.h
              ${PROJECT_SOURCE_DIR}/include/mox2_cblas.h
              ${PROJECT_BINARY_DIR}/include/mox2_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(MOX2_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mox2)
install(EXPORT mox2Targets NAMESPACE mox2:: DESTINATION ${MOX2_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/mox2Config.cmake.in
                              ${PROJECT_BINARY_DIR}/mox2Config.cmake
                              INSTALL_DESTINATION ${MOX2_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mox2ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mox2Config.cmake ${PROJECT_BINARY_DIR}/mox2ConfigVersion.cmake
        DESTINATION ${MOX2_CMAKE_DIR})

# The .pc files find the prefix from their own place, so that an install
# with `cmake --install --prefix` elsewhere is found all the same.
file(RELATIVE_PATH MOX2_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
foreach(pc mox2_isa mox2_blas)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
