#!/usr/bin/env bash
# install_test.sh BUILD_DIR APP_ID VERSION WITH_CLI
# Installs BUILD_DIR into a fresh prefix and checks that the programs, the
# launcher, the icon and the metainfo are where desktops look for them, that they
# agree with one another, and that the desktop and AppStream validators accept them.
set -uo pipefail

build=$1 app_id=$2 version=$3 with_cli=$4
programs=(fundwatch fundwatch-sample-service)
[ "$with_cli" = 1 ] && programs+=(fundwatch-cli)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

unset DESTDIR
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi

desktop=$prefix/share/applications/fundwatch.desktop
icon=$prefix/share/icons/hicolor/scalable/apps/fundwatch.svg
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml

for program in "${programs[@]}"; do
  [ -f "$prefix/bin/$program" ] && [ -x "$prefix/bin/$program" ] || fail "bin/$program missing or not executable"
done
# The installed programs run from their new place (no path into the build tree).
for program in "${programs[@]}"; do
  [ -x "$prefix/bin/$program" ] || continue
  if ! out=$(env -u FUNDWATCH_SERVICE QT_QPA_PLATFORM=offscreen timeout 20 "$prefix/bin/$program" --help 2>&1); then
    fail "bin/$program --help: $out"
  fi
done

for file in "$desktop" "$icon" "$metainfo"; do
  [ -f "$file" ] || fail "${file#"$prefix"/} missing"
done

if [ -f "$desktop" ]; then
  out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
  # desktop-file-validate reports hints without failing; they still mean a fault here.
  [ -z "$out" ] || fail "desktop-file-validate says: $out"
  field() { sed -n "s/^$1=//p" "$desktop"; }
  exec_program=$(field Exec | cut -d' ' -f1)
  [ -n "$exec_program" ] && [ -x "$prefix/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
  [ "$(field Icon)" = fundwatch ] || fail "Icon=$(field Icon), the installed icon is fundwatch"
  [[ "$(field Categories)" == *Finance* ]] || fail "Categories lack Finance"
  grep -q '^Name\[zh_CN\]=' "$desktop" || fail "no Chinese name in the launcher"
  grep -q '^Comment\[zh_CN\]=' "$desktop" || fail "no Chinese comment in the launcher"
fi

if [ -f "$icon" ]; then
  grep -q '<svg' "$icon" || fail "the icon is not SVG"
fi

if [ -f "$metainfo" ]; then
  out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  # The whole tree: the launchable has to name an installed launcher.
  out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) || fail "appstreamcli validate-tree: $out"
  grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
  grep -q '<launchable type="desktop-id">fundwatch.desktop</launchable>' "$metainfo" \
    || fail "metainfo does not launch fundwatch.desktop"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
  grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "metainfo has no content rating"
fi

[ "$failures" -eq 0 ] || exit 1
echo "installed and checked: ${programs[*]}, launcher, icon, metainfo"
