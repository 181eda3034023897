#!/usr/bin/env bash
# Builds the installer package with wixl, then adds what wixl cannot express:
# the conditions of the two optional components and the public properties
# that an elevated installation takes from the command line. Beside the
# package it writes its winget manifest (OUTPUT with .winget.yaml for .msi),
# which names the package as published under URL_BASE.
#   make_package.sh VERSION PRODUCT_CODE UPGRADE_CODE BIN_DIR OUTPUT URL_BASE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=$1 product_code=$2 upgrade_code=$3 bin=$4 url_base=$6
out=$(cd "$(dirname "$5")" && pwd)/$(basename "$5")
tmp="$out.tmp"
rm -f "$tmp"
# wixl takes the files named in the source from the current folder, and the
# policy templates by a path relative to it (it takes no absolute one).
policies=$(realpath --relative-to="$bin" "$here/policies")
(cd "$bin" && wixl -a x64 -I "$here" -D Version="$version" -D ProductCode="$product_code" \
  -D UpgradeCode="$upgrade_code" -D PolicyDir="$policies" -o "$tmp" "$here/kyvomar.wxs")
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

# The manifest for the Windows Package Manager: one file (a singleton), for
# a private source or `winget install --manifest`. The publisher and the
# name are the package's own (Manufacturer, ProductName).
manifest=${out%.msi}.winget.yaml
sha=$(sha256sum "$out" | cut -d' ' -f1 | tr a-f A-F)
cat > "$manifest.tmp" <<MANIFEST
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.singleton.1.6.0.schema.json
PackageIdentifier: Kyvomar.Kyvomar
PackageVersion: $version
PackageLocale: ja-JP
Publisher: Kyvomar
PackageName: Kyvomar
License: Proprietary
ShortDescription: 選んだファイルとフォルダーを暗号化して一つのファイルにまとめるツール
Installers:
- Architecture: x64
  InstallerType: wix
  Scope: machine
  InstallerUrl: ${url_base%/}/$(basename "$out")
  InstallerSha256: $sha
  ProductCode: '$product_code'
  UpgradeBehavior: install
  AppsAndFeaturesEntries:
  - UpgradeCode: '$upgrade_code'
  FileExtensions:
  - kyvo
ManifestType: singleton
ManifestVersion: 1.6.0
MANIFEST
mv "$manifest.tmp" "$manifest"
