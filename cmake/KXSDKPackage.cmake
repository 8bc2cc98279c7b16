# The SDK as plug-in authors get it: the target every plug-in links
# (KXSDK::plugin, the same name inside this build and from an installed SDK),
# the install layout, the CMake package and pkg-config file, and the CPack
# packages.
#
#   include/    the public headers, in the repository's layout
#   lib/        libKXMM (KXMM.dll's import library on Windows), the static
#               libraries a plug-in links, cmake/KXSDK/, pkgconfig/kxsdk.pc
#   bin/        buildkxr, kxhost and its default module BulkSeal.kxl
#               (KXMM.dll on Windows)
include(CMakePackageConfigHelpers)

set(KX_SDK_CMAKE_DIR lib/cmake/KXSDK)

# Everything a plug-in module links: the framework with the string library
# and KXMM below it, the math library and the dialog classes.
add_library(kxplugin INTERFACE)
target_link_libraries(kxplugin INTERFACE kxdialogs kxframework kxmath)
target_include_directories(kxplugin INTERFACE $<INSTALL_INTERFACE:include>)
target_compile_features(kxplugin INTERFACE cxx_std_20)
set_target_properties(kxplugin PROPERTIES EXPORT_NAME plugin)
add_library(KXSDK::plugin ALIAS kxplugin)
add_library(KXSDK::KXMM ALIAS KXMM)
add_executable(KXSDK::buildkxr ALIAS buildkxr)

set(kx_installed_programs buildkxr)
if(TARGET kxhost)
  add_executable(KXSDK::kxhost ALIAS kxhost)
  list(APPEND kx_installed_programs kxhost)
endif()
if(NOT WIN32)
  # The installed programs and module find libKXMM in the prefix's lib/.
  set_target_properties(${kx_installed_programs} BulkSeal PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
endif()

install(TARGETS KXMM kxtext kxstrings kxframework kxmath kxdialogs kxplugin ${kx_installed_programs}
  EXPORT KXSDKTargets
  RUNTIME DESTINATION bin
  LIBRARY DESTINATION lib
  ARCHIVE DESTINATION lib)
# kxhost loads the module beside it when none is named.
install(TARGETS BulkSeal LIBRARY DESTINATION bin)
# The string library's internal headers stay behind: no public header
# includes them.
install(DIRECTORY framework strings math dialogs DESTINATION include FILES_MATCHING PATTERN "*.h"
        PATTERN NormalizationQuickCheck.h EXCLUDE PATTERN UnitSearch.h EXCLUDE PATTERN Utf8.h EXCLUDE
        PATTERN Words.h EXCLUDE)
install(FILES KXMM/KXMM.h DESTINATION include/KXMM)
install(FILES platform/Export.h platform/Text.h DESTINATION include/platform)

install(EXPORT KXSDKTargets NAMESPACE KXSDK:: DESTINATION ${KX_SDK_CMAKE_DIR})
configure_package_config_file(cmake/KXSDKConfig.cmake.in ${PROJECT_BINARY_DIR}/KXSDKConfig.cmake
  INSTALL_DESTINATION ${KX_SDK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KXSDKConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KXSDKConfig.cmake ${PROJECT_BINARY_DIR}/KXSDKConfigVersion.cmake
              cmake/KXSDKPlugin.cmake cmake/KXPlugin.map
  DESTINATION ${KX_SDK_CMAKE_DIR})

if(WIN32)
  set(KX_PC_REQUIRES "")
else()
  set(KX_PC_REQUIRES "Requires.private: icu-uc icu-i18n")
endif()
configure_file(cmake/kxsdk.pc.in ${PROJECT_BINARY_DIR}/kxsdk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kxsdk.pc DESTINATION lib/pkgconfig)

# Packages: a .deb and a .tar.gz of the Linux install, a .zip of the Windows
# one.
set(CPACK_PACKAGE_NAME kxsdk)
set(CPACK_PACKAGE_VENDOR "Calvera SDK")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Calvera plug-in SDK: the plug-in framework, the KXMM memory manager, buildkxr and kxhost")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kxsdk-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Calvera SDK team")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # kxhost's encryption and archives, the string library's ICU.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libicu-dev, libsodium23, libzip4")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The .deb installs under /usr; the archives stay a relocatable prefix.
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/KXSDKCPackOptions.cmake)
endif()
include(CPack)
