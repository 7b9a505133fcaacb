#!/usr/bin/env bash
# Runs a command on a fresh X server (1280x1024, 24 bit) with openbox as its window manager, as a user's
# desktop would have one: windows are framed, placed, activated and focused by the window manager.
# Usage: under-openbox.sh COMMAND [ARGS...]; the exit code is the command's.
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" --inside "$@"
fi
shift
ready=$(mktemp -u)
# openbox runs its start-up command once it manages the screen.
openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 1 200); do
  [ -e "$ready" ] && break
  sleep 0.05
done
unset QT_QPA_PLATFORM
"$@"
