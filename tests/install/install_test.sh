#!/usr/bin/env bash
# install_test.sh <build folder> <source folder>: installs the build into a fresh
# prefix, moves the prefix elsewhere and checks that the installed programs run from
# there with the installed plug-ins, away from the build folder, and that the desktop
# entry and the icon are in place and the entry is valid.
set -euo pipefail
build="$1"
source="$2"
work="$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/pelmora-install.XXXXXX")")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/installed" >/dev/null
# Library paths are relative to the programs: the prefix may be moved as a whole.
mv "$work/installed" "$work/prefix"
prefix="$work/prefix"

for program in pelmora pelmora-cli; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
  # Each library is found, and the engine is the prefix's own, not the build's.
  resolved="$(env -u LD_LIBRARY_PATH ldd "$prefix/bin/$program")"
  if grep -q "not found" <<<"$resolved"; then fail "bin/$program misses libraries: $resolved"; fi
  engine="$(sed -n 's/^[[:space:]]*libsonara\.so\.0 => \(.*\) (0x.*/\1/p' <<<"$resolved")"
  [ -n "$engine" ] && [ "$(realpath "$engine")" = "$(realpath "$prefix/lib/libsonara.so.0")" ] ||
    fail "bin/$program does not take libsonara from the prefix: $resolved"
done

bundles=0
for built in "$build"/plugins/*.plugin; do
  bundle="$(basename "$built")"
  installed="$prefix/lib/pelmora/plugins/$bundle"
  [ -f "$installed/${bundle%.plugin}.so" ] || fail "lib/pelmora/plugins/$bundle has no shared object"
  cmp "$built/Info.plist" "$installed/Info.plist" || fail "lib/pelmora/plugins/$bundle/Info.plist differs"
  bundles=$((bundles + 1))
done
[ "$bundles" -gt 0 ] || fail "the build has no plug-in bundles in $build/plugins"

entry="$prefix/share/applications/pelmora.desktop"
cmp "$source/app/desktop/pelmora.desktop" "$entry" || fail "share/applications/pelmora.desktop differs"
cmp "$source/app/resources/pelmora.svg" "$prefix/share/icons/hicolor/scalable/apps/pelmora.svg" ||
  fail "the icon differs"
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (scripts/install-deps.sh installs it)"
problems="$(desktop-file-validate "$entry" 2>&1)" || fail "the desktop entry is invalid: $problems"
[ -z "$problems" ] || fail "the desktop entry has warnings: $problems"

# From another folder and with nothing pointing at plug-ins, the installed program
# lists what the build's own program lists from the build's plug-in folder.
cd "$work"
expected="$(SONARA_PLUGIN_DIR="$build/plugins" "$build/cli/pelmora-cli" plugins)"
listed="$(env -u SONARA_PLUGIN_DIR -u LD_LIBRARY_PATH "$prefix/bin/pelmora-cli" plugins)"
[ "$(wc -l <<<"$expected")" -eq "$bundles" ] || fail "the build's program lists other plug-ins: $expected"
[ "$listed" = "$expected" ] || fail "the installed program lists
$listed
instead of
$expected"

# Every type the plug-ins read, and the lists the program opens (its own XML
# playlists aside: they would claim every XML file), is in the entry's MimeType as
# the desktop's type database names it.
globs=/usr/share/mime/globs
[ -f "$globs" ] || fail "$globs is missing (shared-mime-info; scripts/install-deps.sh installs it)"
mime_types=";$(sed -n 's/^MimeType=//p' "$entry")"
exts="$(env -u SONARA_PLUGIN_DIR "$prefix/bin/pelmora-cli" plugins --json |
  sed -n 's/.*"exts":"\([^"]*\)".*/\1/p' | tr ',' '\n' | tr -d ' ')"
for ext in $exts cue m3u m3u8; do
  types="$(sed -n "s/^\([^:]*\):\*\.$ext\$/\1/p" "$globs")"
  [ -n "$types" ] || continue  # no type for it on the desktop (.mp1)
  found=""
  for type in $types; do
    if [[ "$mime_types" == *";$type;"* ]]; then found="$type"; fi
  done
  [ -n "$found" ] || fail "MimeType names none of $(tr '\n' ' ' <<<"$types")for .$ext files"
done

# With its plug-in folder emptied the installed program names the folder it read: the
# prefix's, beside its library.
mkdir "$work/aside"
mv "$prefix"/lib/pelmora/plugins/*.plugin "$work/aside"
none="$(env -u SONARA_PLUGIN_DIR -u LD_LIBRARY_PATH "$prefix/bin/pelmora-cli" plugins)"
[ "$none" = "no decoder plug-ins are loaded (looked in $prefix/lib/pelmora/plugins)" ] ||
  fail "with an empty plug-in folder: $none"
echo "installed $bundles plug-ins, both programs, the desktop entry and the icon; all run from $prefix"
