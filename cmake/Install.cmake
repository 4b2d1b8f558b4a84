# cmake --install: the public header, the shared library with its SONAME links, a CMake package
# (find_package(KestrovaAlerts) gives KestrovaAlerts::KestrovaAlerts), a pkg-config file
# (kestrova-alerts), the tools users run (kvtail, kvshot and the reference server). The example
# hosts and the benchmarks stay in the build tree. Every path is relative to the prefix, so
# the tree works wherever --prefix puts it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KV_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KestrovaAlerts)

install(FILES include/kestrova/KestrovaAlerts.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestrova)
install(TARGETS KestrovaAlerts EXPORT KestrovaAlertsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT KestrovaAlertsTargets NAMESPACE KestrovaAlerts:: DESTINATION ${KV_PACKAGE_DIR})

file(WRITE ${CMAKE_BINARY_DIR}/package/KestrovaAlertsConfig.cmake
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/KestrovaAlertsTargets.cmake\")\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/KestrovaAlertsConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/KestrovaAlertsConfig.cmake
  ${CMAKE_BINARY_DIR}/package/KestrovaAlertsConfigVersion.cmake DESTINATION ${KV_PACKAGE_DIR})

# The pkg-config file finds the prefix from its own place.
file(RELATIVE_PATH KV_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KV_PC_TO_PREFIX "${KV_PC_TO_PREFIX}")
configure_file(cmake/kestrova-alerts.pc.in ${CMAKE_BINARY_DIR}/package/kestrova-alerts.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/kestrova-alerts.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS kvtail kvshot kestrova-alertd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md CHANGELOG.md LICENSE docs/diagnostics.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
