# The plug-in template as an author builds it: the SDK installed into a fresh
# prefix, the template configured and built from a folder of its own against
# that prefix only, and the module run and validated in the installed kxhost.
#
#   cmake -DSDK_BUILD=<SDK build> -DTEMPLATE=<template source> -DWORK=<folder>
#         -DGENERATOR=<generator> [-DCOMPILER=<C++ compiler>] [-DFLAGS=<C++ flags>]
#         [-DLINK_FLAGS=<module link flags>] [-DTOOLCHAIN=<file>]
#         [-DEMULATOR=<runner of the built programs>] [-DHOST_BUILDKXR=<path>]
#         -P TemplateTest.cmake
cmake_minimum_required(VERSION 3.25)

function(step what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
step("installing the SDK" ${CMAKE_COMMAND} --install ${SDK_BUILD} --prefix ${WORK}/prefix)

set(configure -S ${TEMPLATE} -B ${WORK}/build -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
              -DCMAKE_PREFIX_PATH=${WORK}/prefix)
if(TOOLCHAIN)
  # A cross build searches its own root for packages: name the SDK's folder.
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DKXSDK_DIR=${WORK}/prefix/lib/cmake/KXSDK
                        -DKX_HOST_BUILDKXR=${HOST_BUILDKXR})
endif()
if(COMPILER)
  list(APPEND configure -DCMAKE_CXX_COMPILER=${COMPILER})
endif()
if(FLAGS)
  list(APPEND configure "-DCMAKE_CXX_FLAGS=${FLAGS}")
endif()
if(LINK_FLAGS)
  list(APPEND configure "-DCMAKE_MODULE_LINKER_FLAGS=${LINK_FLAGS}")
endif()
step("configuring the template" ${CMAKE_COMMAND} ${configure})
step("building the template" ${CMAKE_COMMAND} --build ${WORK}/build)

# Each run: kxhost's arguments (separated by |) and a line it must print.
# Relative paths, so that a Windows kxhost under Wine reads them as they are.
file(GLOB kxhost ${WORK}/prefix/bin/kxhost*)
set(runs
  "routines" "Add(a: integer, b: integer) -> sum: integer  [Demo, version 3100]  Adds two integers."
  "call|Add|2|40" "result: integer 42"
  "--resources|build/Demo.kxr|call|Shout|hello" "result: string HELLO!"
  "--resources|build/Demo.kxr|strings|Demo/Strings/12000 *|1" "!"
  "--resources|build/Demo.kxr|validate" "7 passed, 0 failed, 0 warnings")
while(runs)
  list(POP_FRONT runs arguments expected)
  string(REPLACE "|" ";" arguments "${arguments}")
  execute_process(COMMAND ${EMULATOR} ${kxhost} --module build/Demo.kxl ${arguments} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" out "${out}")
  string(FIND "${out}" "${expected}\n" at)
  if(NOT result EQUAL 0 OR at EQUAL -1)
    message(FATAL_ERROR "kxhost ${arguments}: exit ${result}, expected \"${expected}\" in:\n${out}${err}")
  endif()
endwhile()
message(STATUS "the template built from the installed SDK runs in kxhost")
