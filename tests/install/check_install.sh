#!/usr/bin/env bash
# Installs the build into a temporary prefix and plays what was installed:
# the program on the installed (read-only) demo, then the menu entry's
# launcher, which plays a per-user copy that keeps its saves across starts
# and across a new installed version.
#   check_install.sh CMAKE BUILD_DIR SOURCE_DIR MAN_PAGES(ON|OFF)
set -euo pipefail
cmake=$1 build=$2 source=$3 man_pages=$4

tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "install"; }

# The programs, a manual page for each, the menu entry, its description, the icon.
programs=(quorel quorel-asm quorel-arc quorel-img quorel-text quorel-save quorel-dbg quorel-demo)
for p in "${programs[@]}"; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p missing"
  if [ "$man_pages" = ON ]; then
    page=$prefix/share/man/man1/$p.1
    [ -s "$page" ] || fail "manual page $p.1 missing"
    grep -q '^\.SH DESCRIPTION' "$page" || fail "$p.1 has no description"
  fi
done
for p in quorel-resgen quorel-refgen quorel-demo-images; do
  [ ! -e "$prefix/bin/$p" ] || fail "build helper $p installed"
done
desktop=$prefix/share/applications/quorel-demo.desktop
grep -qx 'Exec=quorel-demo' "$desktop" || fail "the menu entry does not start the launcher"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon missing"
metainfo=$prefix/share/metainfo/$icon.metainfo.xml
grep -q "<release version=\"$("$prefix/bin/quorel" --version | cut -d' ' -f2)\"" "$metainfo" ||
  fail "metainfo does not name this version"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail "desktop file"; fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$metainfo" >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log"; fail "metainfo does not validate"; }
fi
[ -s "$prefix/share/doc/quorel/README.md" ] || fail "README missing"

demo=$prefix/share/quorel/demo
[ -s "$demo/fastdata/start.mjo" ] || fail "demo not installed"
[ ! -e "$demo/savedata" ] && [ ! -e "$demo/debugout.log" ] || fail "files of a run in the installed demo"
chmod -R a-w "$demo"

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
export XDG_CONFIG_HOME=$tmp/config XDG_CACHE_HOME=$tmp/cache XDG_RUNTIME_DIR=$tmp/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
headless=(--headless --virtual-clock=16 --seed=1)

# The installed program plays the installed demo in place, though it cannot
# write there.
"$prefix/bin/quorel" "${headless[@]}" --max-frames=200 "$demo" >"$tmp/run.log" 2>&1 ||
  { cat "$tmp/run.log"; fail "installed quorel on the installed demo"; }

# The launcher's first start makes the per-user copy and plays it (through
# the demo's own save at its choice).
export XDG_DATA_HOME=$tmp/data
copy=$XDG_DATA_HOME/quorel/demo
launch() {
  "$prefix/bin/quorel-demo" "${headless[@]}" "$@" >"$tmp/run.log" 2>&1 ||
    { cat "$tmp/run.log"; fail "quorel-demo $*"; }
}
launch --max-frames=1100 --input="$source/examples/demo/autoplay.txt"
cmp -s "$demo/fastdata/start.mjo" "$copy/fastdata/start.mjo" || fail "no per-user copy"
[ -s "$copy/savedata/quorel_last.sav" ] || fail "the demo did not save in the copy"
cp "$copy/savedata/quorel_last.sav" "$copy/savedata/quorel_0003.sav"
cp "$copy/savedata/quorel_last.sav" "$tmp/save"

# A second start plays the same copy: the save placed there stays.
launch --max-frames=60
cmp -s "$tmp/save" "$copy/savedata/quorel_0003.sav" || fail "second start lost the save"

# A new installed version (here: a file added) refreshes the copy, saves kept;
# a file the next version drops goes from the copy too.
chmod -R u+w "$demo"
echo "added" >"$demo/fastdata/added.txt"
launch --max-frames=60
[ -f "$copy/fastdata/added.txt" ] || fail "copy not refreshed"
cmp -s "$tmp/save" "$copy/savedata/quorel_0003.sav" || fail "refresh lost the save"
rm "$demo/fastdata/added.txt"
launch --max-frames=60
[ ! -e "$copy/fastdata/added.txt" ] || fail "a file the installed demo dropped stays in the copy"
cmp -s "$tmp/save" "$copy/savedata/quorel_0003.sav" || fail "second refresh lost the save"
[ -z "$(find "$XDG_DATA_HOME/quorel" -maxdepth 1 -name '.demo*')" ] || fail "refresh left a scratch folder"
echo "install: ok"
