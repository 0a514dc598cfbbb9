# Installation, the exported CMake package (find_package(mthc) and
# mthc::mthc), and the binary archives made by CPack.
include(CMakePackageConfigHelpers)

install(TARGETS mthc_core EXPORT mthcTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# pkg-config's mthc.pc, for builds that do not use CMake. Its paths start
# from where it is found, so the package may be installed under any prefix.
file(RELATIVE_PATH mthc_pc_prefix_from_pcdir /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" mthc_pc_prefix_from_pcdir "${mthc_pc_prefix_from_pcdir}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/mthc.pc.in ${PROJECT_BINARY_DIR}/mthc.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mthc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# On Windows the programs sit at the top of the folder, with what their users
# read (cmake/windows_package.cmake), where someone who unpacks the ZIP finds
# mthc-pack.exe to drop files on.
if(WIN32)
  set(mthc_program_dir .)
else()
  set(mthc_program_dir ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS mthc RUNTIME DESTINATION ${mthc_program_dir})
if(TARGET mthc-pack)
  install(TARGETS mthc-pack RUNTIME DESTINATION ${mthc_program_dir})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/mthc ${PROJECT_BINARY_DIR}/include/mthc
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_package.cmake)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/mthc.1 ${PROJECT_SOURCE_DIR}/docs/mthc-pack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(mthc_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/mthc)
install(EXPORT mthcTargets NAMESPACE mthc:: DESTINATION ${mthc_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/mthcConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/mthcConfig.cmake
                              INSTALL_DESTINATION ${mthc_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mthcConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mthcConfig.cmake ${PROJECT_BINARY_DIR}/mthcConfigVersion.cmake
        DESTINATION ${mthc_cmake_dir})

# cpack: a .tar.gz of a Linux build, a .zip of a Windows build.
set(CPACK_PACKAGE_NAME mthc)
set(CPACK_PACKAGE_VENDOR "mthc developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
include(CPack)
