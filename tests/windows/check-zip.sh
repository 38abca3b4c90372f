#!/usr/bin/env bash
# Unpacks the Windows zip into an empty folder and runs it under Wine as a user would, on a
# virtual display, with no Qt anywhere on the path and a Wine prefix of its own:
#  1. the panel starts and shows its window; File > Operating Mode > Serial writes
#     settings.ini beside zorvik-panel.exe; Alt+F4 closes it with exit code 0;
#  2. pointed at this machine's talmek-sim on UDP loopback and started with --connect, the
#     panel polls the box, and the key 3 switches channel 1 to antenna 3 in the box.
# Every wait is bounded.
#   tests/windows/check-zip.sh ZIP LINUX-TALMEK-SIM
set -euo pipefail
zip=$(realpath "${1:?usage: check-zip.sh ZIP LINUX-TALMEK-SIM}")
sim=$(realpath "${2:?usage: check-zip.sh ZIP LINUX-TALMEK-SIM}")
wine=${ZORVIK_WINE:-/usr/lib/wine/wine64}
if [ -z "${ZORVIK_ZIP_CHECK_DISPLAY:-}" ]; then
    exec env ZORVIK_ZIP_CHECK_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

work=$(mktemp -d)
sim_pid=
cleanup() {
    # Under errexit a failing command here would become the script's exit code: the
    # simulator has normally quit already, so kill has nothing to stop.
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
    WINEPREFIX="$work/prefix" "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
(cd "$work" && cmake -E tar xf "$zip")
folder=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'zorvik-panel-*-windows-x64')
[ -x "$folder/zorvik-panel.exe" ] || { echo "FAILED: no zorvik-panel.exe in the zip"; exit 1; }
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
unset WINEPATH
"$wine" wineboot --init >/dev/null 2>&1

failed=0
ok() { echo "ok: $1"; }
fail() { echo "FAILED: $1"; failed=1; }
wait_for() { # wait_for TENTHS COMMAND...
    local tries=$1
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}
windows_at_least() { [ "$(xdotool search --onlyvisible --class 'zorvik-panel.exe' | wc -l)" -ge "$1" ]; }
panel_window() { xdotool search --onlyvisible --name '^Zorvik Remote Control$' | head -n 1; }
# start_panel ARGS...: sets $panel (Wine's process) and $window.
start_panel() {
    (cd "$folder" && exec "$wine" ./zorvik-panel.exe "$@") >"$work/panel.log" 2>&1 &
    panel=$!
    window=
    wait_for 600 panel_window && window=$(panel_window)
    [ -n "$window" ]
}
# close_panel: Alt+F4, as a user closes a window; sets $code to the exit code.
close_panel() {
    xdotool key --window "$window" alt+F4
    code=0
    if ! wait_for 300 sh -c "! kill -0 $panel"; then
        kill "$panel"
        code="still running after Alt+F4"
        return
    fi
    wait "$panel" || code=$?
}

# 1. A fresh folder: choose a mode, close.
if start_panel; then
    ok "the panel shows its window"
    # File > Operating Mode (the menu's last entry) > Serial (its first); each menu is a
    # window of its own, so the count of the panel's visible windows says it has opened.
    xdotool mousemove --window "$window" 15 11 click 1
    wait_for 50 windows_at_least 2 || fail "no File menu"
    xdotool key Up Right
    wait_for 50 windows_at_least 3 || fail "no Operating Mode menu"
    xdotool key Return
    if wait_for 100 grep -q '^serialMode=2' "$folder/settings.ini"; then
        ok "choosing Serial wrote settings.ini beside zorvik-panel.exe"
    else
        fail "no serialMode=2 in $folder/settings.ini"
    fi
    close_panel
    [ "$code" = 0 ] && ok "Alt+F4 closed it with exit code 0" || fail "closing gave: $code"
else
    fail "no window within 60 s"
fi

# 2. Against talmek-sim on loopback; --hex prints every frame the box receives.
mkfifo "$work/sim.in" "$work/sim.out"
"$sim" --udp 0 --hex <"$work/sim.in" >"$work/sim.out" &
sim_pid=$!
exec 8>"$work/sim.in" 7<"$work/sim.out" # its console: 8 writes to it, 7 reads from it
port=
while read -r -t 10 line <&7; do
    case $line in UDP\ 127.0.0.1:*) port=${line##*:}; break ;; esac
done
[ -n "$port" ] || { fail "talmek-sim did not open UDP"; exit 1; }
printf '[General]\nserialMode=1\nIP=127.0.0.1\nPORT=%s\n' "$port" >"$folder/settings.ini"
# next_line PATTERN TENTHS: reads the simulator's output until a line matches.
next_line() {
    local line tries=$2
    while [ "$tries" -gt 0 ]; do
        if read -r -t 0.1 line <&7; then
            case $line in $1) echo "$line"; return 0 ;; esac
        elif [ $? -le 128 ]; then
            return 1 # the simulator is gone
        else
            tries=$((tries - 1))
        fi
    done
    return 1
}
if start_panel --connect; then
    ok "the panel shows its window with --connect"
    if next_line 'RX udp *' 300 >/dev/null; then
        ok "it polls the box without a click"
        # A click on the empty status bar gives the window the keyboard.
        xdotool mousemove --window "$window" 400 285 click 1
        xdotool key 3
        switched=0
        for _ in $(seq 50); do
            echo state >&8
            if next_line 'STATE *' 50 | grep -q 'antenna1=2 '; then switched=1; break; fi
            sleep 0.1
        done
        [ "$switched" = 1 ] && ok "the key 3 switched the box's channel 1 to antenna 3" \
            || fail "the box's channel 1 is not on antenna 3"
    else
        fail "the box was not polled"
    fi
    close_panel
    [ "$code" = 0 ] && ok "closed with exit code 0" || fail "closing gave: $code"
else
    fail "no window with --connect"
fi
echo quit >&8

[ "$failed" -eq 0 ] && echo "Windows zip check passed"
exit "$failed"
