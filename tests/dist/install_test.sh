#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and uses the installed programs with no build tree around:
# velmorctl creates a demo station and runs a transfer that must take the installed sample project, also
# after the whole tree was moved elsewhere. The desktop entry, the AppStream metadata and the manual
# pages must validate, and the bash completion must complete from the installed program. With the last
# argument ON, the Debian package is built too and its dependencies and files are checked.
#
#   install_test.sh BUILD_DIR APP_ID WITH_WINDOW(ON|OFF) WITH_PACKAGE(ON|OFF)
set -euo pipefail
build=$1 app_id=$2 with_window=$3 with_package=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FEHLER: $*" >&2
  exit 1
}
# Nothing may reach the real home: the programs write their settings, trash, journal and locks below
# HOME and XDG_*.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
  XDG_STATE_HOME=$work/home/.local/state XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$HOME"
unset WINEPREFIX KUNDEN_KENNUNG KENNUNG STATIONS_NUMMER

DESTDIR=$work/root cmake --install "$build" --prefix /usr >/dev/null
usr=$work/root/usr

# --- the layout: programs in bin/, data in share/ -------------------------------------------------------
programs=(velmorctl)
[ "$with_window" = ON ] && programs+=(velmor)
for p in "${programs[@]}"; do
  [ -x "$usr/bin/$p" ] || fail "bin/$p fehlt"
done
extra=$(cd "$usr/bin" && ls | grep -vxF -e velmorctl -e velmor || true)
[ -z "$extra" ] || fail "in bin/ gehört nur das Programm, nicht: $extra"
[ -f "$usr/share/velmor/EXF0/PROJEKT.DAT" ] || fail "share/velmor/EXF0 fehlt"
for f in "share/applications/$app_id.desktop" "share/metainfo/$app_id.metainfo.xml" \
  "share/icons/hicolor/scalable/apps/$app_id.svg" "share/icons/hicolor/48x48/apps/$app_id.png" \
  share/man/man1/velmorctl.1.gz share/man/man1/velmor.1.gz \
  share/bash-completion/completions/velmorctl share/zsh/vendor-completions/_velmorctl; do
  [ -f "$usr/$f" ] || fail "$f fehlt"
done

# --- the installed velmorctl on a demo station ---------------------------------------------------------
# A file that only the installed sample project has shows which EXF0 the transfer took.
echo "installiert" >"$usr/share/velmor/EXF0/INSTALLIERT.TXT"
transfer_from() {
  local ctl=$1 station=$2
  local env_line
  env_line=$(cd "$work" && "$ctl" demo-station "$station" | tail -n 1)
  [[ $env_line == WINEPREFIX=* ]] || fail "demo-station gab keine Umgebung aus: $env_line"
  (
    cd "$work"
    # shellcheck disable=SC2086 # the line is NAME=VALUE words
    export $env_line
    "$ctl" transfer --yes --quiet
  ) || fail "$ctl transfer schlug fehl"
  [ -f "$station/drive_c/EPLAN5/P/DEMO1.P/INSTALLIERT.TXT" ] ||
    fail "$ctl hat das installierte Musterprojekt nicht gefunden"
}
transfer_from "$usr/bin/velmorctl" "$work/station1"
# Relocatable: the same tree moved elsewhere still finds its data.
mv "$work/root/usr" "$work/moved"
transfer_from "$work/moved/bin/velmorctl" "$work/station2"
mv "$work/moved" "$work/root/usr"

# --- desktop entry, metadata, manual pages --------------------------------------------------------------
desktop-file-validate "$usr/share/applications/$app_id.desktop"
# validate-tree also checks that the metadata's launchable names an installed desktop entry.
appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml" >"$work/appstream.log" 2>&1 &&
  appstreamcli validate-tree --no-net "$usr" >>"$work/appstream.log" 2>&1 ||
  fail "AppStream-Metadaten ungültig: $(cat "$work/appstream.log")"
for page in velmorctl velmor; do
  rendered=$(MANWIDTH=100 man --warnings -E UTF-8 -l "$usr/share/man/man1/$page.1.gz" 2>"$work/man.log")
  [ ! -s "$work/man.log" ] || fail "man meldet für $page(1): $(cat "$work/man.log")"
  grep -q "^NAME" <<<"$rendered" || fail "$page(1) ist leer"
done
grep -q "demo-station VERZEICHNIS" <<<"$(MANWIDTH=100 man -l "$usr/share/man/man1/velmorctl.1.gz")" ||
  fail "velmorctl(1) beschreibt demo-station nicht"

# --- bash completion from the installed program ---------------------------------------------------------
completion=$(
  PATH=$usr/bin:$PATH
  # shellcheck disable=SC1091
  source "$usr/share/bash-completion/completions/velmorctl"
  complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _velmorctl
    echo "${COMPREPLY[*]}"
  }
  complete_words velmorctl tr
  complete_words velmorctl transfer --dr
  complete_words velmorctl ""
  complete_words velmorctl undo ""
)
[ "$(sed -n 1p <<<"$completion")" = transfer ] || fail "Vervollständigung von 'tr': $completion"
[ "$(sed -n 2p <<<"$completion")" = --dry-run ] || fail "Vervollständigung von '--dr': $completion"
grep -qw demo-station <<<"$(sed -n 3p <<<"$completion")" || fail "Befehlsliste: $completion"
# The transfers above are in the journal: undo completes their ids.
last=$("$usr/bin/velmorctl" journal | awk '/^[0-9]/ {print $1; exit}')
[ -n "$last" ] || fail "velmorctl journal nennt keine Übertragung"
grep -qw -- "$last" <<<"$(sed -n 4p <<<"$completion")" || fail "Vervollständigung von undo: $completion"

# --- the Debian package --------------------------------------------------------------------------------
if [ "$with_package" = ON ]; then
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    fail "cpack schlug fehl: $(cat "$work/cpack.log")"
  deb=$(ls "$work"/package/velmor_*.deb)
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libstdc++6; do
    grep -q "$library" <<<"$depends" || fail "Depends nennt $library nicht: $depends"
  done
  if [ "$with_window" = ON ]; then
    grep -q libqt6widgets6 <<<"$depends" || fail "Depends nennt libqt6widgets6 nicht: $depends"
    grep -q libqt6gui6 <<<"$depends" || fail "Depends nennt libqt6gui6 nicht: $depends"
  fi
  # The package holds exactly the installed tree.
  (cd "$work/root" && find . -type f | sed 's|^\./||' | grep -v 'share/velmor/EXF0/INSTALLIERT.TXT' |
    sort) >"$work/installed.txt"
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort >"$work/packaged.txt"
  diff "$work/installed.txt" "$work/packaged.txt" >&2 || fail "das Paket weicht vom installierten Baum ab"
fi
echo "Installation geprüft"
