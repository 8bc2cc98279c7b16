#!/bin/sh
# Checks BulkSeal.kxl's binding: it exports exactly plugin_module_main,
# plugin_module_ver and plugin_module_deinit, and takes from the memory
# manager nothing but members of KXMM::Partition.
# Usage: CheckModuleExports.sh <nm|objdump> <module>
set -eu
tool=$1
module=$2

case "$tool" in
  *objdump)
    dump=$("$tool" -p "$module")
    exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
              sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
    # The names listed under "DLL Name: KXMM.dll" up to the next blank line.
    imports=$(printf '%s\n' "$dump" | sed -n '/DLL Name: KXMM.dll/,/^$/p' |
              awk 'NR > 2 && NF >= 3 {print $3}') ;;
  *)
    exports=$("$tool" -D --defined-only --format=posix "$module" | awk '{print $1}')
    imports=$("$tool" -D --undefined-only --format=posix "$module" | awk '{print $1}' | grep '^_ZN4KXMM' || true) ;;
esac

expected="plugin_module_deinit
plugin_module_main
plugin_module_ver"
actual=$(printf '%s\n' "$exports" | grep . | sort)
if [ "$actual" != "$expected" ]; then
  echo "exports of $module are not exactly the three module entries:"
  printf '%s\n' "$actual"
  exit 1
fi

[ -n "$imports" ] || { echo "no imports from KXMM found in $module"; exit 1; }
foreign=$(printf '%s\n' "$imports" | c++filt | grep -v '^KXMM::Partition::' || true)
if [ -n "$foreign" ]; then
  echo "imports from KXMM outside KXMM::Partition:"
  printf '%s\n' "$foreign"
  exit 1
fi
echo "exports: the three module entries; imports from KXMM: $(printf '%s\n' "$imports" | c++filt | tr '\n' ' ')"
