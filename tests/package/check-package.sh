#!/usr/bin/env bash
# Builds the release archive from the build tree, checks what it holds, unpacks it into a
# folder of its own and starts the program from there under Wine.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
archive="$(ls "$work"/SysExDump-*.zip)"
echo "archive: $(basename "$archive")"
contents="$(unzip -Z1 "$archive")"
echo "$contents"
for expected in SysExDump.exe reseng.dll README.md LICENSE; do
  if ! grep -qE "(^|/)$expected\$" <<<"$contents"; then
    echo "missing from the archive: $expected" >&2
    exit 1
  fi
done
if grep -qE 'Demo|tests' <<<"$contents"; then
  echo "the archive holds more than the program" >&2
  exit 1
fi

mkdir "$work/unpacked"
unzip -q "$archive" -d "$work/unpacked"
exe="$(find "$work/unpacked" -name SysExDump.exe)"
windows_path="Z:$(tr / '\\' <<<"$exe")"
SYSEXDUMP_BUILD_DIR="$build" "$(dirname "$0")/../../scripts/wine-run.sh" "$build/bin/package_start_check.exe" "$windows_path"
