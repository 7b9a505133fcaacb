#!/usr/bin/env bash
# Makes sure the tools and libraries that the build, the tests and ./run use are present. Each line of the
# list below names one Debian package and, optionally, what shows that it is there: a command on PATH, or
# a file (globs allowed). Those checks come first, so a machine that has every tool passes without dpkg or
# apt. Only what is missing is installed, in one apt-get run. A second run costs well under a second.
set -euo pipefail

# package                probe (command or file; none: ask dpkg)
list='
cmake                    cmake
ninja-build              ninja
g++                      g++
clang                    clang++
libclang-rt-14-dev       /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a
libgtest-dev             /usr/include/gtest/gtest.h
qt6-base-dev             /usr/lib/*/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake
adwaita-icon-theme       /usr/share/icons/Adwaita/index.theme
xvfb                     Xvfb
xauth                    xauth
xdotool                  xdotool
x11-utils                xprop
openbox                  openbox
qt6-translations-l10n    /usr/share/qt6/translations/qtbase_de.qm
scdoc                    scdoc
desktop-file-utils       desktop-file-validate
appstream                appstreamcli
dpkg-dev                 dpkg-shlibdeps
man-db                   man
'

present() {
  local package=$1 probe=${2:-}
  if [ -z "$probe" ]; then
    command -v dpkg >/dev/null && dpkg -s "$package" >/dev/null 2>&1
  elif [ "${probe#/}" != "$probe" ]; then
    # shellcheck disable=SC2086 # the probe is a glob on purpose
    compgen -G "$probe" >/dev/null
  else
    command -v "$probe" >/dev/null
  fi
}

missing=()
while read -r package probe _; do
  [ -n "$package" ] || continue
  present "$package" "$probe" || missing+=("$package")
done <<<"$list"

if [ ${#missing[@]} -gt 0 ]; then
  if ! command -v apt-get >/dev/null; then
    echo "bootstrap: missing ${missing[*]}; no apt-get here to install them, please install them by hand" >&2
    exit 1
  fi
  echo "bootstrap: installing ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  # Qt's German texts are packaged as qttranslations6-l10n from Debian 13 on.
  if ! apt-cache show qt6-translations-l10n >/dev/null 2>&1; then
    missing=("${missing[@]/#qt6-translations-l10n/qttranslations6-l10n}")
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
