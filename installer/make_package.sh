#!/usr/bin/env bash
# Builds the installer package with wixl, then adds what wixl cannot express:
# the conditions of the two optional components and the public properties
# that an elevated installation takes from the command line.
#   make_package.sh VERSION PRODUCT_CODE UPGRADE_CODE BIN_DIR OUTPUT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=$1 product_code=$2 upgrade_code=$3 bin=$4
out=$(cd "$(dirname "$5")" && pwd)/$(basename "$5")
tmp="$out.tmp"
rm -f "$tmp"
# wixl takes the files named in the source from the current folder.
(cd "$bin" && wixl -a x64 -I "$here" -D Version="$version" -D ProductCode="$product_code" \
  -D UpgradeCode="$upgrade_code" -o "$tmp" "$here/kyvomar.wxs")
# Each condition also holds while the product is removed: Windows Installer
# removes an installed component whatever its condition says then, Wine's
# keeps a component whose condition is false, and with it the Log folder.
removing='REMOVE ~= "ALL"'
condition() {  # component, condition
  msibuild "$tmp" -q "UPDATE \`Component\` SET \`Condition\` = '$2 OR $removing' WHERE \`Component\` = '$1'"
}
condition LogFolder 'LOGFOLDER = 1'
# A policy set by an earlier installation is found as "#2" (a number).
condition ContainerPolicy 'CONTAINERFORMAT = 2 OR CONTAINERFORMAT = "#2"'
secure=$(msiinfo export "$tmp" Property | awk -F'\t' '$1 == "SecureCustomProperties" {print $2}')
msibuild "$tmp" -q "UPDATE \`Property\` SET \`Value\` = '${secure:+$secure;}LOGFOLDER;CONTAINERFORMAT' WHERE \`Property\` = 'SecureCustomProperties'"
mv "$tmp" "$out"
