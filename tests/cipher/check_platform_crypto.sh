#!/usr/bin/env bash
# The program takes its cryptography from the system's CNG: its image holds
# no software AES (neither the S-box, its inverse, nor the first entries of
# the round tables), no SHA-256 round or initial constants, and no AES or
# carry-less multiplication instructions of its own.
set -eu
exe=$1
status=0
hex=$(od -An -v -tx1 "$exe" | tr -d ' \n')
check() {  # name, bytes in hex
  if [[ $hex == *"$2"* ]]; then
    echo "found in the image: $1"
    status=1
  fi
}
check "AES S-box" 637c777bf26b6fc53001672bfed7ab76
check "AES inverse S-box" 52096ad53036a538bf40a39e81f3d7fb
check "AES round table (little-endian)" c66363a5f87c7c84ee777799f67b7b8d
check "AES round table (big-endian)" a56363c6847c7cf8997777ee8d7b7bf6
check "SHA-256 round constants (little-endian)" 982f8a4291443771cffbc0b5a5dbb5e9
check "SHA-256 round constants (big-endian)" 428a2f9871374491b5c0fbcfe9b5dba5
check "SHA-256 initial hash (little-endian)" 67e6096a85ae67bb
check "SHA-256 initial hash (big-endian)" 6a09e667bb67ae85
instructions=$(i686-w64-mingw32-objdump -d "$exe" | grep -c -E '\s(aesenc|aesenclast|aesdec|aesdeclast|aeskeygenassist|pclmulqdq)\s' || true)
if [ "$instructions" != 0 ]; then
  echo "AES or carry-less multiplication instructions in the image: $instructions"
  status=1
fi
[ $status = 0 ] && echo "no software AES or SHA-256 in $exe"
exit $status
