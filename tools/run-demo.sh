#!/bin/sh
# `make run`: starts the installer with the demo discs in a simulated drive.
# Everything it writes stays in BUILD/run: HOME (with its Desktop, where the
# log goes, and the XDG folders), the temporary folder and the drive.
# With a display the window opens; insert disc two when asked with
#     tools/insert-disc.sh 2
# Without one it runs under xvfb-run with a scripted fresh install
# (tools/demo-install.script) and says where its screenshots and log are.
set -e
build="$(cd "${1:-build}" && pwd)"
tools="$(cd "$(dirname "$0")" && pwd)"
run="$build/run"
program="$build/app/flyvane_installer"
[ -x "$program" ] || { echo "build the installer first: $program" >&2; exit 1; }

mkdir -p "$run/home/Desktop" "$run/home/.config" "$run/home/.local/share" "$run/home/.cache" \
  "$run/tmp" "$run/shots"
chmod 700 "$run/tmp"
"$tools/insert-disc.sh" 1 "$build" >/dev/null

export HOME="$run/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" \
  XDG_CACHE_HOME="$HOME/.cache" TMPDIR="$run/tmp"
export FLY_MOUNTED_VOLUMES="$run/volumes"
log="$HOME/Desktop/Flyvane Installer Log.txt"

if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
  echo "Disc one is in the drive. When the installer asks for disc two, run:"
  echo "    tools/insert-disc.sh 2 $1"
  echo "The installer's log: $log"
  exec "$program"
fi

# The script clicks the English labels, and no one is there to answer the
# first start's language question.
export LANGUAGE=en
command -v xvfb-run >/dev/null || { echo "no display and no xvfb-run (tools/install-deps.sh)" >&2; exit 1; }
# A fresh install each time: what an earlier run installed would change the
# start screen the script expects.
rm -rf "$HOME" "$run/tmp"
mkdir -p "$HOME/Desktop" "$HOME/.config" "$HOME/.local/share" "$HOME/.cache" "$run/tmp"
chmod 700 "$run/tmp"
"$tools/insert-disc.sh" 1 "$build" >/dev/null
rm -f "$run/shots/"*.png "$run/trace.txt"
sed "s|@DISC2@|$build/demo/discs/disk_1|" "$tools/demo-install.script" >"$run/install.script"
echo "No display: a scripted fresh install under xvfb-run (at most 15 minutes)..."
status=0
(cd "$run/shots" && FLY_SCRIPT="$run/install.script" FLY_TRACE="$run/trace.txt" \
  timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" "$program") || status=$?
echo "Screenshots: $run/shots/"
ls "$run/shots" | sed 's/^/    /'
echo "Log:         $log"
echo "Trace:       $run/trace.txt"
case $status in
  0) echo "The scripted install finished." ;;
  3) echo "The script stopped: $(grep 'SCRIPT FAILED' "$run/trace.txt" | tail -1)"; exit 3 ;;
  *) echo "The installer ended with status $status."; exit "$status" ;;
esac
