# kxtext: the text services of Text.h. Windows calls the Win32 functions the
# string library is specified against; Linux reproduces their results with
# ICU plus the Windows tables kept beside the implementation.
add_library(kxtext STATIC ${KX_PLATFORM_DIR}/Text.cpp Text.h)
if(NOT WIN32)
  target_sources(kxtext PRIVATE posix/TextCollation.cpp)
endif()
target_include_directories(kxtext PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
set_target_properties(kxtext PROPERTIES POSITION_INDEPENDENT_CODE ON)
kx_target_warnings(kxtext)
if(WIN32)
  target_link_libraries(kxtext PRIVATE user32 shlwapi normaliz usp10)
else()
  find_package(ICU REQUIRED COMPONENTS uc i18n data)
  target_link_libraries(kxtext PRIVATE ICU::i18n ICU::uc ICU::data)
endif()

# The program that records Windows' sort keys, run under Wine to regenerate
# the data the Linux comparison tables are made from.
if(WIN32)
  add_executable(WindowsSortKeys win32/WindowsSortKeys.cpp)
  kx_target_warnings(WindowsSortKeys)
endif()
