#!/usr/bin/env bash
# Reads Kyvoshell.dll back: the four COM exports by their plain names with
# ordinals 1 to 4 (no stdcall decoration) and nothing else, imports only of
# DLLs that ship with Windows, and no symbol table left.
set -eu
dll=$1
dump=$(i686-w64-mingw32-objdump -p "$dll")
status=0

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

if i686-w64-mingw32-objdump -t "$dll" | grep -q '^\[ *[0-9]*\]'; then
  echo "symbol table left in $dll (not stripped)"; status=1
fi

echo "exports: $(echo "$exports" | tr '\n' ' ')"
echo "imports: $(echo $imports | tr '\n' ' ')"
echo "size: $(stat -c %s "$dll") bytes"
exit $status
