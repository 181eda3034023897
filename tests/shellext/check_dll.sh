#!/usr/bin/env bash
# Reads the shell-extension DLL back: built for the given processor (i686 for
# Kyvoshell.dll, x86_64 for Kyvoshell64.dll), the four COM exports by their
# plain names with ordinals 1 to 4 (no stdcall decoration) and nothing else,
# imports only of DLLs that ship with Windows, and no symbol table left.
#   check_dll.sh DLL [i686|x86_64]
set -eu
dll=$1
arch=${2:-i686}
objdump=$arch-w64-mingw32-objdump
case $arch in
  i686) format=pei-i386 ;;
  x86_64) format=pei-x86-64 ;;
  *) echo "unknown processor $arch"; exit 1 ;;
esac
dump=$($objdump -p "$dll")
status=0

echo "$dump" | grep -q "file format $format\$" || { echo "$dll is not $format"; status=1; }

# The export table names the file itself.
name=$(echo "$dump" | awk '/^Name[ \t]+[0-9a-f]+ / {print $3; exit}')
[ "$name" = "$(basename "$dll")" ] || { echo "export table names $name, not $(basename "$dll")"; status=1; }

base=$(echo "$dump" | awk '/^Ordinal Base/ {print $3; exit}')
[ -n "$base" ] || { echo "no export table in $dll"; exit 1; }
exports=$(echo "$dump" | awk -v base="$base" '
  /^\[Ordinal\/Name Pointer\] Table/ {f=1; next}
  f && /^$/ {f=0}
  f { gsub(/[][]/, " "); print $1 + base, $2 }')
expected=$'1 DllCanUnloadNow\n2 DllGetClassObject\n3 DllRegisterServer\n4 DllUnregisterServer'
if [ "$exports" != "$expected" ]; then
  echo "exports differ:"; echo "$exports"; status=1
fi
count=$(echo "$dump" | awk '/Export Address Table -- Ordinal Base/ {f=1; next} f && /^$/ {f=0} f && /\+base/ {n++} END {print n+0}')
[ "$count" = 4 ] || { echo "export address table has $count entries, not 4"; status=1; }

allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|msvcrt)\.dll$'
imports=$(echo "$dump" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$imports" ] || { echo "no imports found in $dll"; status=1; }
for name in $imports; do
  [[ $name =~ $allowed ]] || { echo "unexpected import: $name"; status=1; }
done

if $objdump -t "$dll" | grep -q '^\[ *[0-9]*\]'; then
  echo "symbol table left in $dll (not stripped)"; status=1
fi

echo "format: $format"
echo "exports: $(echo "$exports" | tr '\n' ' ')"
echo "imports: $(echo $imports | tr '\n' ' ')"
echo "size: $(stat -c %s "$dll") bytes"
exit $status
