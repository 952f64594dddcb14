#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it: lintian finds no error, the desktop
# entry is valid, the changelog and the AppStream description name the package's version, and what
# is unpacked from it (dpkg-deb -x into a temporary root) works: tk-dedi --version, --help and an
# unknown option, tk4700-sim --help, and the menu entry's launcher in a scratch home directory.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/package.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/deb/CMakeCache.txt)
deb=build/package/tk-dedi_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "no package $deb" >&2; exit 1; }

fail() { echo "check-package: $*" >&2; exit 1; }

echo "=== lintian $deb ==="
lintian --fail-on error --info "$deb" || fail "lintian reports errors"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
pkg=$root/pkg
desktop-file-validate "$pkg/usr/share/applications/tk-dedi.desktop" || fail "desktop entry not valid"
zcat "$pkg/usr/share/doc/tk-dedi/changelog.gz" | sed -n 1p | grep -qF "tk-dedi ($version)" ||
  fail "packaging/changelog has no entry for $version on top"
grep -m1 '<release ' "$pkg/usr/share/metainfo/tk-dedi.metainfo.xml" | grep -qF "version=\"$version\"" ||
  fail "packaging/tk-dedi.metainfo.xml has no release $version on top"

# Every installed path that the menu entry and the launcher name must be in the package.
for path in $(grep -ho "/usr/[A-Za-z0-9_./-]*" "$pkg/usr/share/applications/tk-dedi.desktop" \
                "$pkg/usr/libexec/tk-dedi/tk-dedi-launch"); do
  [ -e "$pkg$path" ] || fail "$path is named but not in the package"
done

# The programs as unpacked, with Qt from the system. Without any display: --help and a wrong
# option are answered before the toolkit starts (a window attempt would abort or hang).
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20)
[ "$(QT_QPA_PLATFORM=offscreen "$pkg/usr/bin/tk-dedi" --version)" = "tk-dedi $version" ] ||
  fail "tk-dedi --version does not say tk-dedi $version"
help=$("${no_display[@]}" "$pkg/usr/bin/tk-dedi" --help) || fail "tk-dedi --help failed"
for word in TK4700_TUNE.INI DATADIR RecipesTune_iNN Data_iNN '~/TK-Dedi'; do
  grep -qF -- "$word" <<<"$help" || fail "tk-dedi --help does not mention $word"
done
status=0
out=$("${no_display[@]}" "$pkg/usr/bin/tk-dedi" --no-such-option 2>"$root/err") || status=$?
[ "$status" = 2 ] && [ -z "$out" ] && grep -qF -- "--no-such-option" "$root/err" ||
  fail "tk-dedi --no-such-option: status $status, expected 2 and a message"
sim_help=$("$pkg/usr/bin/tk4700-sim" --help) && grep -q "TK4700" <<<"$sim_help" || fail "tk4700-sim --help failed"

# The launcher, pointed at the unpacked files and at a stand-in for tk-dedi that shows where it ran.
printf '#!/bin/sh\npwd > "$HOME/ran-in"\n' > "$root/fake-tk-dedi"
chmod +x "$root/fake-tk-dedi"
sed -e "s|'/usr/share/|'$pkg/usr/share/|" -e "s|'/usr/bin/tk-dedi'|'$root/fake-tk-dedi'|" \
  "$pkg/usr/libexec/tk-dedi/tk-dedi-launch" > "$root/launch"
mkdir "$root/home"
HOME=$root/home sh "$root/launch" || fail "launcher failed"
starter=$pkg/usr/share/tk-dedi/TK4700_TUNE.INI
[ "$(cat "$root/home/ran-in")" = "$root/home/TK-Dedi" ] || fail "launcher did not run tk-dedi in ~/TK-Dedi"
cmp -s "$starter" "$root/home/TK-Dedi/TK4700_TUNE.INI" && [ -d "$root/home/TK-Dedi/data" ] ||
  fail "launcher did not lay out the starter settings and data/"
printf 'mine\r\n' > "$root/home/TK-Dedi/TK4700_TUNE.INI"
HOME=$root/home sh "$root/launch" || fail "launcher failed on its second run"
[ "$(cat "$root/home/TK-Dedi/TK4700_TUNE.INI")" = $'mine\r' ] || fail "launcher replaced an existing settings file"
echo "=== package $deb checked ==="
