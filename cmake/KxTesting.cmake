# Test support: GoogleTest built from Debian's sources (so the native, sanitizer
# and mingw-w64 builds all compile it with their own compiler), and
# kx_add_test(), the one way a test program is declared and registered.
#
# Every test program is one CTest test; under the Windows preset CTest starts it
# through CMAKE_CROSSCOMPILING_EMULATOR (Wine).

set(KX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")

macro(kx_setup_gtest)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${KX_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    # Third-party code: its warnings are not ours to fix.
    foreach(t gtest gtest_main gmock gmock_main)
      target_compile_options(${t} PRIVATE -w)
    endforeach()
  endif()
endmacro()

# kx_add_test(<name> SOURCES <files...> [LIBS <targets...>] [ARGS <args...>]
#             [ENV <VAR=value...>] [LABELS <labels...>])
function(kx_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ARGS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  kx_target_warnings(${name})
  if(NOT WIN32)
    # Symbol names in recorded stacks come from the dynamic symbol table.
    set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  endif()
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  if(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# kx_add_bench(<name> SOURCES <files...> [LIBS <targets...>])
# A Google Benchmark program; run by hand, never registered as a test.
function(kx_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  kx_target_warnings(${name})
endfunction()

# kx_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>])
# A libFuzzer target defining LLVMFuzzerTestOneInput. With KX_BUILD_FUZZ it is
# built as a fuzzer (<name>); in every build a replay program (<name>Replay,
# fuzz/ReplayMain.cpp) runs the saved inputs of fuzz/corpus/<name>/ as an
# ordinary test.
function(kx_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(KX_BUILD_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    kx_target_warnings(${name})
  endif()
  add_executable(${name}Replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
  target_link_libraries(${name}Replay PRIVATE ${F_LIBS})
  target_include_directories(${name}Replay PRIVATE ${PROJECT_SOURCE_DIR})
  kx_target_warnings(${name}Replay)
  add_test(NAME ${name}Replay COMMAND ${name}Replay ${corpus})
endfunction()
