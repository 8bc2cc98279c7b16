# Checks that the Windows kxhost carries its application manifest with
# long-path awareness: cmake -DPROGRAM=kxhost.exe -P CheckManifest.cmake
file(STRINGS "${PROGRAM}" found REGEX "<longPathAware[^>]*>true</longPathAware>")
if(NOT found)
  message(FATAL_ERROR "${PROGRAM} declares no long-path awareness in its manifest")
endif()
