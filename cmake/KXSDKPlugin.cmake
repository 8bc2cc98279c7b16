# kx_add_plugin(<name> SOURCES <files...> [RESOURCES <folder>])
#
# Builds the plug-in module <name>.kxl from SOURCES against KXSDK::plugin:
# symbols hidden, exactly the three module entries exported, and (on Linux)
# no undefined symbol left for load time. With RESOURCES, buildkxr
# (KXSDK::buildkxr) checks the resource folder and packs it into <name>.kxr
# beside the module, again whenever a file in it changes.
#
# The SDK's own modules are built with this function too; an installed SDK
# brings it with find_package(KXSDK).
include_guard(GLOBAL)

set(KX_HOST_BUILDKXR "" CACHE STRING
    "In a cross build: the buildkxr that runs on the build machine, to pack resources with (default: buildkxr on the PATH)")

function(kx_add_plugin name)
  cmake_parse_arguments(PLUGIN "" "RESOURCES" "SOURCES" ${ARGN})
  if(NOT PLUGIN_SOURCES OR PLUGIN_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kx_add_plugin(${name} SOURCES <files...> [RESOURCES <folder>]): "
                        "no SOURCES, or unknown arguments: ${PLUGIN_UNPARSED_ARGUMENTS}")
  endif()
  # Beside this file, in the SDK's sources and in an installed SDK alike.
  set(export_map ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KXPlugin.map)
  add_library(${name} MODULE ${PLUGIN_SOURCES})
  target_link_libraries(${name} PRIVATE KXSDK::plugin)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".kxl" CXX_VISIBILITY_PRESET hidden
                                           VISIBILITY_INLINES_HIDDEN ON)
  if(NOT WIN32)
    target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--version-script=${export_map})
    # A sanitizer's runtime lives in the host program, so its symbols are
    # left open in a module built with one.
    if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
      target_link_options(${name} PRIVATE -Wl,-z,defs)
    endif()
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${export_map})
  endif()

  if(PLUGIN_RESOURCES)
    get_filename_component(folder "${PLUGIN_RESOURCES}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT IS_DIRECTORY "${folder}")
      message(FATAL_ERROR "kx_add_plugin(${name}): the resource folder ${folder} does not exist")
    endif()
    get_target_property(output_dir ${name} LIBRARY_OUTPUT_DIRECTORY)
    if(NOT output_dir)
      set(output_dir ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    set(archive ${output_dir}/${name}.kxr)
    file(GLOB_RECURSE inputs CONFIGURE_DEPENDS "${folder}/*")
    # buildkxr is configured by its environment. A cross build packs with
    # the build machine's: the SDK's own would run under an emulator.
    set(packer KXSDK::buildkxr)
    set(run $<TARGET_FILE:KXSDK::buildkxr>)
    if(CMAKE_CROSSCOMPILING)
      if(NOT KX_HOST_BUILDKXR)
        find_program(KX_HOST_BUILDKXR_PROGRAM buildkxr)
        set(KX_HOST_BUILDKXR ${KX_HOST_BUILDKXR_PROGRAM})
      endif()
      if(NOT KX_HOST_BUILDKXR)
        message(FATAL_ERROR "kx_add_plugin(${name}): a cross build packs resources with a buildkxr of the build "
                            "machine; install one on the PATH or set KX_HOST_BUILDKXR to its path")
      endif()
      set(packer ${KX_HOST_BUILDKXR})
      if(TARGET ${packer})
        set(run $<TARGET_FILE:${packer}>)
      else()
        set(run ${packer})
      endif()
    endif()
    add_custom_command(OUTPUT ${archive}
      COMMAND ${CMAKE_COMMAND} -E env KXR_INPUT=${folder} KXR_OUTPUT=${archive} KXR_MODE=Release ${run}
      DEPENDS ${inputs} ${packer}
      COMMENT "Packing the resources of ${name} into ${name}.kxr"
      VERBATIM)
    add_custom_target(${name}_resources ALL DEPENDS ${archive})
    add_dependencies(${name} ${name}_resources)
  endif()
endfunction()
