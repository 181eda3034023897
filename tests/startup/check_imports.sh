#!/usr/bin/env bash
# Every result file is a copy of Kyvomar.exe that travels alone: it may import
# only DLLs that ship with Windows.
set -eu
exe=$1
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comdlg32|comctl32|ole32|msvcrt|bcrypt)\.dll$'
imports=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
status=0
for dll in $imports; do
  if [[ ! $dll =~ $allowed ]]; then
    echo "unexpected import: $dll"
    status=1
  fi
done
echo "imports: $(echo $imports | tr '\n' ' ')"
echo "size: $(stat -c %s "$exe") bytes"
exit $status
