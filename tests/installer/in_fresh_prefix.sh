#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh 64-bit prefix made for this
# run alone, and removes the prefix with everything in it afterwards.
#   in_fresh_prefix.sh WINE_RUN PROGRAM [ARGS...]
set -u
wine_run=$1; shift
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kyvo-fresh.XXXXXX")
cleanup() {
  # The wine server keeps a folder named after the prefix's device and inode
  # under /tmp/wine-*; it goes too.
  local server=
  [ -d "$tmp/prefix" ] && server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$tmp/prefix"))
  WINEPREFIX="$tmp/prefix" wineserver -k 2>/dev/null
  WINEPREFIX="$tmp/prefix" wineserver -w 2>/dev/null
  if [ -n "$server" ]; then
    for dir in /tmp/wine-*/"$server"; do
      [ -d "$dir" ] || continue
      rm -rf "$dir"
      rmdir "$(dirname "$dir")" 2>/dev/null
    done
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
KYVO_WINEARCH=win64 "$wine_run" "$tmp/prefix" "$@"
