# A cross build packs resources with a buildkxr of the build machine, built
# here from the same sources (cmake/HostTools); kx_add_plugin takes it from
# KX_HOST_BUILDKXR.
include(ExternalProject)
ExternalProject_Add(kxhosttools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/cmake/HostTools
  BINARY_DIR ${PROJECT_BINARY_DIR}/host-tools
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${PROJECT_BINARY_DIR}/host-tools/buildkxr)
add_executable(kxbuildkxrhost IMPORTED GLOBAL)
set_target_properties(kxbuildkxrhost PROPERTIES IMPORTED_LOCATION ${PROJECT_BINARY_DIR}/host-tools/buildkxr)
add_dependencies(kxbuildkxrhost kxhosttools)
set(KX_HOST_BUILDKXR kxbuildkxrhost)
