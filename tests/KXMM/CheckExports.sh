#!/bin/sh
# Checks the export table of the shipped memory-manager library: every
# exported symbol belongs to KXMM::Partition or the VIZA namespace, and the
# entries the plug-in binds to at load time are there.
# Usage: CheckExports.sh <nm|objdump> <library>
set -eu
tool=$1
library=$2

case "$tool" in
  *objdump)
    # Names between the "[Ordinal/Name Pointer] Table" header and the next blank line.
    symbols=$("$tool" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
              sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p') ;;
  *)
    symbols=$("$tool" -D --defined-only --format=posix "$library" | awk '{print $1}') ;;
esac

count=$(printf '%s\n' "$symbols" | grep -c . || true)
[ "$count" -gt 0 ] || { echo "no exported symbols found in $library"; exit 1; }

foreign=$(printf '%s\n' "$symbols" | c++filt | grep -v -e '^KXMM::Partition::' -e '^VIZA::' || true)
if [ -n "$foreign" ]; then
  echo "exported symbols outside KXMM::Partition and VIZA:"
  printf '%s\n' "$foreign"
  exit 1
fi

demangled=$(printf '%s\n' "$symbols" | c++filt)
for required in GetPartitionByIdentifier NewHandle TXStringAllocate TXStringDeallocate \
                DisposeHandle CreatePool PrintMemoryStats partitionList; do
  printf '%s\n' "$demangled" | grep -q "^KXMM::Partition::$required" ||
    { echo "missing export: KXMM::Partition::$required"; exit 1; }
done
printf '%s\n' "$demangled" | grep -q '^VIZA::MemError' || { echo "missing export: VIZA::MemError"; exit 1; }
echo "$count exported symbols, all of KXMM::Partition and VIZA"
