#!/bin/sh
# Makes the SDK's Debian package with CPack and checks its file list: what a
# plug-in author needs is there, under /usr. The package is not installed.
# Usage: CheckDebianPackage.sh <SDK build> <work folder>
set -eu
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
package=$(ls "$work"/*.deb)
files=$(dpkg-deb -c "$package" | awk '{print $6}')
status=0
for expected in \
  ./usr/bin/kxhost ./usr/bin/buildkxr ./usr/bin/BulkSeal.kxl \
  ./usr/lib/libKXMM.so ./usr/lib/libkxframework.a ./usr/lib/libkxstrings.a ./usr/lib/libkxtext.a \
  ./usr/lib/libkxmath.a ./usr/lib/libkxdialogs.a \
  ./usr/lib/cmake/KXSDK/KXSDKConfig.cmake ./usr/lib/cmake/KXSDK/KXSDKConfigVersion.cmake \
  ./usr/lib/cmake/KXSDK/KXSDKTargets.cmake ./usr/lib/cmake/KXSDK/KXSDKPlugin.cmake \
  ./usr/lib/cmake/KXSDK/KXPlugin.map ./usr/lib/pkgconfig/kxsdk.pc \
  ./usr/include/framework/Plugin.h ./usr/include/strings/TXString.h ./usr/include/KXMM/KXMM.h \
  ./usr/include/platform/Export.h; do
  if ! printf '%s\n' "$files" | grep -qx "$expected"; then
    echo "missing from $package: $expected"
    status=1
  fi
done
# Nothing of the build or the sources beyond the public layout.
if printf '%s\n' "$files" | grep -E '\.(cpp|o)$|/tests?/|/host/' ; then
  echo "$package holds files an author does not need (above)"
  status=1
fi
exit $status
