#!/usr/bin/env bash
# Every result file is a copy of Kyvomar.exe that travels alone and is started
# from wherever it was saved, beside whatever else lies there. It may import
# only DLLs that ship with Windows and that the loader always takes from the
# system folder (the known DLLs of the system), never one of the same name
# beside the program. Anything else is loaded at run time from the system
# folder.
set -eu
exe=$1
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comdlg32|ole32|oleaut32|msvcrt|shlwapi|imm32)\.dll$'
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
