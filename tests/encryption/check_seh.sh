#!/usr/bin/env bash
# The mail hand-off catches a faulting provider with an exception handler of
# its own (manager/encryption/guarded_call.cpp). The system calls such a
# handler only while the program image is not marked NO_SEH and has no load
# configuration whose SafeSEH table would leave the handler out.
set -eu
exe=$1
header=$(i686-w64-mingw32-objdump -p "$exe")
if grep -q 'NO_SEH' <<<"$header"; then
  echo "$exe is marked NO_SEH: its own exception handlers would never be called"
  exit 1
fi
config=$(awk '/Load Configuration Directory/ {print $3; exit}' <<<"$header")
if [ "${config:-00000000}" != 00000000 ]; then
  echo "$exe has a load configuration (size $config): a SafeSEH table in it must list the guard's handler"
  exit 1
fi
echo "DllCharacteristics $(awk '/^DllCharacteristics/ {print $2}' <<<"$header"), no load configuration"
