# System services (System.h): environment, files and folders, folder links and
# child processes, for buildkxr and its tests.
add_library(kxsystem STATIC ${KX_PLATFORM_DIR}/System.cpp System.h)
target_include_directories(kxsystem PUBLIC ${PROJECT_SOURCE_DIR})
kx_target_warnings(kxsystem)
if(WIN32)
  # Shell links through COM (ole32, uuid for the interface identifiers) and
  # ShellExecuteExA (shell32).
  target_link_libraries(kxsystem PRIVATE ole32 uuid shell32)
endif()
