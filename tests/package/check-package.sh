#!/usr/bin/env bash
# Builds the release archive from the build tree, checks what it holds, unpacks it into a
# folder of its own and starts the program from there under Wine. Then installs, updates and
# uninstalls the program with the installer the build made.
set -euo pipefail
build="$1"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
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
SYSEXDUMP_BUILD_DIR="$build" "$source_dir/scripts/wine-run.sh" "$build/bin/package_start_check.exe" "$windows_path"

# The installer, in the build's own Wine prefix (never the user's): a folder of the user's
# files refused, a silent installation into a folder of this test's own, what it promised, a
# refused update and uninstallation while the program runs, an update in place, an update
# into another folder, then a silent uninstallation.
setup="$(ls "$build"/SysExDump-*-setup.exe)"
version="$(basename "$setup" -setup.exe)"; version="${version#SysExDump-}"
echo "installer: $(basename "$setup") ($(stat -c %s "$setup") bytes)"
export SYSEXDUMP_BUILD_DIR="$build" WINEPREFIX="$build/wineprefix"
source "$source_dir/scripts/wine-env.sh"
# No menu entries on the Linux desktop for the shortcut the installer makes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
wine() { "$WINE_LOADER" "$@" </dev/null; }
windows() { echo "Z:$(tr / '\\' <<<"$1")"; }
fail() { echo "$*" >&2; exit 1; }
exits() {
  local want="$1" code=0; shift
  wine "$@" || code=$?
  [ "$code" -eq "$want" ] || fail "$*: exit code $code, not $want"
}
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\SysEx Dump'
settings='HKCU\Software\SysEx Dump'
users="$WINEPREFIX/drive_c/users"
shortcut='AppData/Roaming/Microsoft/Windows/Start Menu/Programs/SysEx Dump.lnk'
default='AppData/Local/Programs/SysEx Dump'
installed() { ls "$users"/*/"$shortcut" "$users"/*/"$default" 2>/dev/null || true; }
# What a failed run left behind.
wine reg delete "$key" /f >/dev/null 2>&1 || true
rm -rf "$users"/*/"$shortcut" "$users"/*/"$default" "$users"/*/Temp/~nsu*.tmp

grep -qa 'level="asInvoker"' "$setup" || fail "the installer asks for administrator rights"
# Files of the user's own under the names the installer writes: refused with exit code 3.
mkdir "$work/mine"
for name in README.md LICENSE uninstall.exe; do echo "the user's $name" >"$work/mine/$name"; done
cp -a "$work/mine" "$work/mine.before"
exits 3 "$setup" /S "/D=$(windows "$work/mine")"
diff -r "$work/mine.before" "$work/mine" || fail "the refused installation changed the user's folder"
[ -z "$(installed)" ] && ! wine reg query "$key" >/dev/null 2>&1 || fail "the refused installation went elsewhere"
# /D= unquoted (an uninstaller's _?= must be too, so this folder has no spaces).
dir="$work/Programs/SysExDump"
win="$(windows "$dir")"
exits 0 "$setup" /S "/D=$win"
[ "$(LC_ALL=C ls "$dir" | tr '\n' ' ')" = \
  "LICENSE README.md SysExDump-installation.txt SysExDump.exe reseng.dll uninstall.exe " ] ||
  fail "installed: $(ls "$dir")"
for file in "$build"/bin/{SysExDump.exe,reseng.dll} "$source_dir"/{README.md,LICENSE}; do
  cmp "$file" "$dir/$(basename "$file")" || fail "installed $(basename "$file") is not the built one"
done
points_to() { grep -qaF "$1\\SysExDump.exe" "$users"/*/"$shortcut" || fail "no Start-menu shortcut to $1\\SysExDump.exe"; }
points_to "$win"
# It starts the program in the user's Documents, where the default file names then save.
documents="$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Personal |
  sed -n 's/.*REG_SZ *//p' | tr -d '\r')"
python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' \
  "$(ls "$users"/*/"$shortcut")" "$documents" || fail "the shortcut does not start the program in $documents"
kb=0
for file in "$dir"/{SysExDump.exe,reseng.dll,README.md,LICENSE}; do kb=$((kb + ($(stat -c %s "$file") + 1023) / 1024)); done
entry="$(wine reg query "$key" | tr -d '\r')"
while IFS='|' read -r name type value; do
  grep -qxF "    $name    $type    $value" <<<"$entry" || fail "uninstall entry: $name is not $value: $entry"
done <<EXPECTED
DisplayName|REG_SZ|SysEx Dump
DisplayVersion|REG_SZ|$version
Publisher|REG_SZ|SysEx Dump developers
DisplayIcon|REG_SZ|$win\\reseng.dll,0
InstallLocation|REG_SZ|$win
EstimatedSize|REG_DWORD|$(printf '0x%x' "$kb")
UninstallString|REG_SZ|"$win\\uninstall.exe"
QuietUninstallString|REG_SZ|"$win\\uninstall.exe" /S
NoModify|REG_DWORD|0x1
NoRepair|REG_DWORD|0x1
EXPECTED
echo "installed: files, shortcut and uninstall entry as promised"

# While the installed program runs, an update and an uninstallation (in place, so that its
# exit code is the real one) are refused with exit code 2 before they change anything; once
# it has ended, the update replaces the copy where it is.
echo "changed by the test" >>"$dir/README.md"
coproc running { "$WINE_LOADER" "$build/bin/package_start_check.exe" "$win\\SysExDump.exe" hold; }
read -r -t 60 shown <&"${running[0]}" || fail "the installed program did not start"
echo "$shown"
exits 2 "$setup" /S
exits 2 "$dir/uninstall.exe" /S "_?=$win"
echo >&"${running[1]}"
wait "$running_PID" || fail "the installed program did not end"
grep -q "changed by the test" "$dir/README.md" || fail "the refused update replaced files"
exits 0 "$setup" /S
cmp "$source_dir/README.md" "$dir/README.md" || fail "the update did not replace the installed copy"
[ -z "$(installed | grep -v "$shortcut")" ] || fail "the update went elsewhere: $(installed)"
echo "update refused while the program runs, then made in place"

# An update into another folder (quoted by Wine: it has a space) removes the installed copy
# first, leaving the user's own file there.
echo "the user's dump" >"$dir/MyDump.syx"
old="$dir"; dir="$work/Programs/SysEx Dump"; win="$(windows "$dir")"
exits 0 "$setup" /S "/D=$win"
[ "$(ls -A "$old")" = MyDump.syx ] || fail "the update elsewhere left in $old: $(ls -A "$old")"
cmp "$source_dir/README.md" "$dir/README.md" || fail "the update elsewhere did not install into $dir"
points_to "$win"
wine reg query "$key" /v InstallLocation | grep -qF "$win" || fail "the uninstall entry does not name $win"
[ -z "$(installed | grep -v "$shortcut")" ] || fail "the update went elsewhere: $(installed)"
echo "update into another folder: the old copy removed, the user's file kept"
# Without its uninstall entry, an installation is known by the marker the installer wrote.
wine reg delete "$key" /f >/dev/null
exits 0 "$setup" /S "/D=$win"

# The settings and the user's own files stay when the uninstaller runs silently. It goes on
# in a copy of itself after it returns, and removes its entry last.
wine reg add "$settings" /v PackageTest /d kept /f >/dev/null
echo "the user's dump" >"$dir/MyDump.syx"
exits 0 "$dir/uninstall.exe" /S
deadline=$((SECONDS + 30))
while wine reg query "$key" >/dev/null 2>&1; do
  [ $SECONDS -lt $deadline ] || fail "the uninstall entry is still there after 30 s"
  sleep 0.2
done
[ "$(ls -A "$dir")" = MyDump.syx ] || fail "the uninstaller left or took in its folder: $(ls -A "$dir")"
[ -z "$(installed)" ] || fail "left behind: $(installed)"
wine reg query "$settings" /v PackageTest >/dev/null || fail "the silent uninstallation removed the settings"
wine reg delete "$settings" /v PackageTest /f >/dev/null
# The uninstaller's copy of itself, which Windows would delete at the next start.
rm -rf "$users"/*/Temp/~nsu*.tmp
echo "uninstalled: nothing left but the settings and the user's file"
