#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get and uses it as a user
# would: an ordinary account (nobody, with a home folder of its own) starts the panel the
# way the menu entry does, on a virtual display, picks the serial operating mode from the
# File menu, and stops the panel. The setting must land in that user's
# ~/.config/zorvik-panel/settings.ini, nothing beside /usr/bin/zorvik-panel, and the panel
# must exit with code 0. A package that was not installed before is removed again.
# Needs root (it installs a package): CI runs it on its fresh machine.
#   tests/install/check-package.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package: run as root, it installs the package" >&2
    exit 1
fi
scripts/deps xvfb xauth xdotool
deb=$(scripts/package | tail -n 1)
name=zorvik-remote-control
was_installed=0
dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' && was_installed=1

home=$(mktemp -d)
cleanup() {
    rm -rf "$home"
    if [ "$was_installed" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$name" >/dev/null || true
    fi
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
echo "installed $deb"

chown nobody "$home"
as_user() { runuser -u nobody -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
failed=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}

settings="$home/.config/zorvik-panel/settings.ini"
check "zorvik-panel is on the PATH" test "$(as_user sh -c 'command -v zorvik-panel')" = /usr/bin/zorvik-panel
check "--version names the program" grep -q '^zorvik-panel ' <(as_user zorvik-panel --version)
check "--help names the user's settings file" grep -qF "Settings file: $settings" <(as_user zorvik-panel --help)

# The menu entry's command, without its field codes.
command=$(sed -n 's/^Exec=//p' /usr/share/applications/net.zorvik.RemoteControl.desktop | sed 's/ %[a-zA-Z]//g')
check "the menu entry starts zorvik-panel" test "$command" = zorvik-panel

# The session on the virtual display, as that user. Every wait is bounded.
cat >"$home/session.sh" <<'EOF'
set -u
wait_for() { # wait_for TENTHS COMMAND...: until the command succeeds
    local tries=$1
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}
popups_at_least() { [ "$(xdotool search --onlyvisible --class zorvik-panel | wc -l)" -ge "$1" ]; }
"$@" &
panel=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zorvik Remote Control$' | head -n 1)
[ -n "$window" ] || { echo "no window"; kill "$panel"; exit 1; }
# File > Operating Mode (the menu's last entry) > Serial (its first).
xdotool mousemove --window "$window" 20 11 click 1
wait_for 50 popups_at_least 2 || { echo "no File menu"; kill "$panel"; exit 1; }
xdotool key Up Right
wait_for 50 popups_at_least 3 || { echo "no Operating Mode menu"; kill "$panel"; exit 1; }
xdotool key Return
wait_for 50 grep -q '^serialMode=2' "$HOME/.config/zorvik-panel/settings.ini" || echo "mode not stored"
kill -TERM "$panel"
wait "$panel"
echo "exit code $?"
EOF
chown nobody "$home/session.sh"
session=$(as_user xvfb-run -a bash "$home/session.sh" $command 2>&1 | grep -v 'XDG_RUNTIME_DIR' || true)
echo "$session" | sed 's/^/  session: /'
check "the panel stored the mode in the user's folder" grep -q '^serialMode=2' "$settings"
check "nothing was written beside the executable" test ! -e /usr/bin/settings.ini
check "the panel exited with code 0" grep -qx 'exit code 0' <<<"$session"

# The station without a window: its user unit, and a run of it that SIGTERM ends.
unit=/usr/lib/systemd/user/zorvik-panel-headless.service
check "the package ships the headless user unit" test -f "$unit"
check "the unit starts the station without a window" \
    test "$(sed -n 's/^ExecStart=//p' "$unit")" = "/usr/bin/zorvik-panel --headless"
cat >"$home/headless.sh" <<'EOF'
set -u
/usr/bin/zorvik-panel --headless --link lan 2>"$HOME/headless.log" &
station=$!
for _ in $(seq 100); do grep -q 'LAN enabled' "$HOME/headless.log" && break; sleep 0.1; done
kill -TERM "$station"
wait "$station"
echo "exit code $?"
EOF
chown nobody "$home/headless.sh"
headless=$(as_user env -u DISPLAY bash "$home/headless.sh" 2>&1 || true)
sed 's/^/  headless: /' "$home/headless.log" 2>/dev/null || true
check "the headless station started from the user's settings" grep -q 'LAN enabled' "$home/headless.log"
check "the headless station stopped on SIGTERM with code 0" grep -qx 'exit code 0' <<<"$headless"

[ "$failed" -eq 0 ] && echo "package check passed"
exit "$failed"
