#!/usr/bin/env bash
# The Windows package under wine, from the built artefacts, in a private Xvfb + openbox
# session and a private wine prefix (tests/gui/harness.sh gives the session and the waits).
#
#   zip        from the unpacked zip: the window's place and size, a second copy refused
#              with status 1, chat and gift lines in their colours against the simulator,
#              F10 in another wine window toggling lock mode both ways through the real
#              low-level hook (that window still gets the key; Alt+F10 does nothing), the
#              close button (status 0, config.ini with its eight keys) and an end of session
#              (wineboot --end-session: settings written before the process is ended)
#   installer  the installer run silently: the files, the Start-menu shortcut (the copy
#              started from it works in the install folder) and the uninstaller (it removes
#              the program and keeps config.ini)
#   scaled     from the unpacked zip, with Windows display scaling at 150 % and 200 % (wine's
#              LogPixels 144 and 192): the window 1.5 and 2 times 277x312, at its default
#              place scaled, its chat lines in their colours
#
# Usage: windows_package.sh zip|installer|scaled PACKAGE WINE WINESERVER SMOKE_EXE SIM IMAGES ARTEFACTS

mode=$1 package=$2 wine=$3 wineserver=$4 smoke=$5 sim=$6
source "$(dirname "${BASH_SOURCE[0]}")/../gui/harness.sh"
# Room for the window at twice its size.
if [[ $mode == scaled ]]; then H_SCREEN_W=1920 H_SCREEN_H=1200; fi
h_begin "windows_$mode" "$wine" "$smoke" "$7" "$8"
[[ -f "$package" ]] || fail "package '$package' not found (tools/build-windows.sh writes it)"
[[ -x "$sim" ]] || fail "simulator '$sim' not found"
command -v unzip >/dev/null || fail "unzip is not installed"

source "$(dirname "${BASH_SOURCE[0]}")/wine_prefix.sh"
wine_prefix "$wine" "$wineserver"
h_log "wine prefix ready"

# Starts kibchat.exe in DIR (its working directory); sets APP_PID.
start_overlay() {
    h_spawn "overlay-$1" env -C "$2" "$wine" kibchat.exe
    APP_PID=$H_LAST_PID
}
overlay_windows() { xdotool search --all --onlyvisible --classname '^kibchat\.exe$' 2>/dev/null; }
# Waits for the overlay's window and sets OX OY OW OH. By class, not by process: a copy
# started through a shortcut is a child of wine's start.exe.
wait_overlay() {
    # shellcheck disable=SC2317 # called through h_poll
    _shown_or_gone() { overlay_windows | grep -q . || { [[ -n $APP_PID ]] && ! h_alive "$APP_PID"; }; }
    h_poll 40 _shown_or_gone
    OVERLAY=$(overlay_windows | head -n1)
    [[ -n "$OVERLAY" ]] || fail "kibchat.exe mapped no window within 40 s"
    h_geometry "$OVERLAY"
    OX=$GX OY=$GY OW=$GW OH=$GH
}
# The eight keys of the [Config] section of the settings file FILE.
check_config() {
    local file=$1 key
    [[ -f "$file" ]] || fail "no config.ini at $file"
    for key in roomName bBold Alpha fontFamily fontSize lineHeight appWidth appHeight; do
        grep -q "^$key=" "$file" || fail "config.ini lacks $key: $(tr -d '\r' <"$file")"
    done
}
# The licences in the program folder DIR: KibChat's own LICENSE, and the notices of what it
# bundles: each Qt DLL named in the Qt notice with the LGPLv3 and where its source is, the two
# licence texts that notice points to, cpp-httplib's MIT notice.
check_licences() {
    local dir=$1 dll text
    notice_text() { tr -d '\r' <"$dir/$1" 2>/dev/null; }
    [[ "$(notice_text LICENSE.txt)" == "$(cat "$LICENSE")" ]] ||
        fail "LICENSE.txt in $dir is not the source tree's LICENSE"
    # One line, the folder separators as on Linux.
    text=$(notice_text licenses/Qt.txt | tr -s ' \n' '  ')
    text=${text//\\//}
    for dll in "$dir"/Qt5*.dll "$dir"/platforms/*.dll "$dir"/styles/*.dll; do
        [[ $text == *"${dll#"$dir"/}"* ]] || fail "the Qt notice does not name ${dll#"$dir"/}: $text"
    done
    [[ $text =~ ^Qt\ 5\.15\.[0-9]+\  && $text == *"GNU Lesser General Public License version 3"* &&
        $text == *"Debian's source package qtbase-opensource-src"* ]] ||
        fail "the Qt notice lacks its version, the LGPLv3 or its source: $text"
    text=$(notice_text licenses/LGPL-3.txt | head -n 2 | tr -s ' \n' '  ')
    [[ $text == " GNU LESSER GENERAL PUBLIC LICENSE Version 3, 29 June 2007"* ]] ||
        fail "licenses\\LGPL-3.txt is not the LGPLv3: $text"
    text=$(notice_text licenses/GPL-3.txt | head -n 2 | tr -s ' \n' '  ')
    [[ $text == " GNU GENERAL PUBLIC LICENSE Version 3, 29 June 2007"* ]] ||
        fail "licenses\\GPL-3.txt is not the GPLv3: $text"
    text=$(notice_text licenses/cpp-httplib.txt)
    [[ $text == *"Copyright (c) "*" Yuji Hirose"* && $text == *"$(sed '1,/^Copyright/d' "$LICENSE")" ]] ||
        fail "licenses\\cpp-httplib.txt lacks cpp-httplib's MIT notice: $text"
    text=$(notice_text licenses/MinGW-w64-runtime.txt)
    [[ $text == *"--- libwinpthread-1.dll"*Copyright* ]] ||
        fail "licenses\\MinGW-w64-runtime.txt lacks the runtime's copyright files"
}
LICENSE=$(dirname "$7")/LICENSE
close_overlay() {
    xdotool key F10 || fail "xdotool key F10 failed"
    sleep 0.5
    xdotool mousemove $((OX + OW - 12)) $((OY + 13)) click 1 || fail "xdotool click failed"
    h_wait_exit "$APP_PID" 20 || fail "the close button did not end the overlay"
    ((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS after the close button"
}

if [[ $mode == installer ]]; then
    cp "$package" "$H_TMP/setup.exe"
    timeout 120 "$wine" "$H_TMP/setup.exe" /S >"$H_TMP/setup.log" 2>&1 ||
        fail "the silent install failed"
    local_app=$(timeout 30 "$wine" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
    inst_win="$local_app\\Programs\\KibChat"
    inst=$(timeout 30 "$wine" winepath -u "$inst_win" 2>/dev/null)
    [[ -f "$inst/kibchat.exe" && -f "$inst/platforms/qwindows.dll" && -d "$inst/images" ]] ||
        fail "the install folder $inst lacks the program: $(ls "$inst" 2>&1)"
    check_licences "$inst"
    h_log "installed into $inst_win, with the licences"
    menu=$(find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/KibChat/KibChat.lnk' |
        head -n1)
    [[ -n "$menu" ]] || fail "no Start-menu entry KibChat\\KibChat.lnk"
    timeout 30 "$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\KibChat' \
        /v UninstallString >"$H_TMP/reg.log" 2>&1 || fail "no uninstall entry in the user's Apps"

    # Started through the shortcut from elsewhere: it works in the install folder only if the
    # shortcut's working directory is that folder (the settings file lands there).
    # start.exe hands the shortcut to the shell and returns; the overlay is not its child.
    timeout 30 env -C "$H_TMP" "$wine" start /unix "$menu" >"$H_TMP/start.log" 2>&1 ||
        fail "wine start of the Start-menu shortcut failed"
    APP_PID=""
    wait_overlay
    ((OW == 277 && OH == 312)) || fail "the installed copy's window is ${OW}x${OH}"
    # Ended with the session (no wine window has the focus here for F10 to unlock it).
    timeout 60 "$wine" wineboot --end-session >"$H_TMP/endsession.log" 2>&1
    h_poll 20 eval '! overlay_windows | grep -q .' || fail "the end of the session left the overlay"
    check_config "$inst/config.ini"
    h_log "the Start-menu shortcut's copy ran in the install folder and wrote config.ini there"

    timeout 60 "$wine" "$inst/uninstall.exe" /S "_?=$inst_win" >"$H_TMP/uninstall.log" 2>&1 ||
        fail "the silent uninstall failed"
    # The uninstaller in place (_?=) cannot delete itself.
    rm -f "$inst/uninstall.exe"
    left=$(cd "$inst" && find . -mindepth 1 | sort | tr '\n' ' ')
    [[ "$left" == "./config.ini " ]] || fail "after the uninstall the folder holds: $left"
    [[ ! -e "$menu" ]] || fail "the uninstaller left the Start-menu entry"
    ! timeout 30 "$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\KibChat' \
        >/dev/null 2>&1 || fail "the uninstaller left the Apps entry"
    h_log "PASS"
    exit 0
fi

unzip -q "$package" -d "$H_TMP/unzipped" || fail "cannot unzip $package"
app_dir=$H_TMP/unzipped/KibChat
check_licences "$app_dir"
h_log "the zip carries LICENSE.txt and the notices of Qt, the MinGW-w64 runtime and cpp-httplib"

sim_start "$H_TMP/sim.log" "$sim" --seed 7 --rate 8 --next 1 || fail "$SIM_ERROR"
H_PIDS+=("$SIM_PID")
# wine hands the environment to Windows programs: the overlay reads the addresses sim_start
# exported.
printf '[Config]\r\nroomName=demo-room\r\n' >"$app_dir/config.ini"

if [[ $mode == scaled ]]; then
    for row in "144 1.5" "192 2"; do
        read -r dpi f <<<"$row"
        timeout 30 "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
            /d "$dpi" /f >"$H_TMP/reg-$dpi.log" 2>&1 || fail "cannot set LogPixels $dpi"
        # The setting is read as wine's processes start.
        timeout 10 "$wineserver" -k >/dev/null 2>&1
        timeout 10 "$wineserver" -w >/dev/null 2>&1
        printf '[Config]\r\nroomName=demo-room\r\n' >"$app_dir/config.ini"
        start_overlay "scaled-$dpi" "$app_dir"
        wait_overlay
        want_w=$(awk -v f="$f" 'BEGIN { printf "%d", 277 * f + 0.5 }')
        want_h=$(awk -v f="$f" 'BEGIN { printf "%d", 312 * f + 0.5 }')
        want_x=$((H_SCREEN_W - $(awk -v f="$f" 'BEGIN { printf "%d", 327 * f + 0.5 }')))
        want_y=$(awk -v f="$f" 'BEGIN { printf "%d", 100 * f + 0.5 }')
        h_log "LogPixels $dpi: window ${OW}x${OH} at $OX,$OY"
        ((OW == want_w && OH == want_h)) ||
            fail "LogPixels $dpi: the window is ${OW}x${OH}, not ${want_w}x${want_h}"
        ((OX - want_x <= 1 && want_x - OX <= 1 && OY - want_y <= 1 && want_y - OY <= 1)) ||
            fail "LogPixels $dpi: the window is at $OX,$OY, not at $want_x,$want_y"
        h_wait_line_colours 30 "$OX" "$OY" "$OW" "$OH"
        h_screenshot "windows-overlay-$dpi" "$OX" "$OY" "$OW" "$OH"
        timeout 60 "$wine" wineboot --end-session >"$H_TMP/endsession-$dpi.log" 2>&1
        h_poll 20 eval '! overlay_windows | grep -q .' || fail "the overlay outlived the session"
    done
    h_log "PASS"
    exit 0
fi

start_overlay first "$app_dir"
wait_overlay
((OW == 277 && OH == 312)) || fail "the window is ${OW}x${OH}, not 277x312"
((OX == H_SCREEN_W - 327 && OY == 100)) ||
    fail "the window is at $OX,$OY, not at $((H_SCREEN_W - 327)),100"
# Opacity level 6: wine hands the layered window's alpha to X as the opacity hint (a
# compositor would show it; Xvfb has none).
opacity=$(xprop -id "$OVERLAY" _NET_WM_WINDOW_OPACITY | sed -n 's/.* = //p')
((opacity == 0xffffffff * 6 / 10)) || fail "the window's opacity hint is '$opacity', not 0.6"
h_log "window ${OW}x${OH} at $OX,$OY, opacity 0.6"

# --- chat and gift lines in their colours ---------------------------------------------------
# As on Linux, Xvfb has no compositor: the window's opacity does not show.
h_wait_line_colours 30 "$OX" "$OY" "$OW" "$OH"
h_screenshot windows-overlay "$OX" "$OY" "$OW" "$OH"
h_log "chat and gift lines in all five colours"

# --- a second copy -----------------------------------------------------------------------------
timeout 40 env -C "$app_dir" "$wine" kibchat.exe >"$H_TMP/second.log" 2>&1
status=$?
((status == 1)) || fail "a second kibchat.exe ended with status $status, not 1"
count=$(overlay_windows | wc -l)
((count == 1)) || fail "$count overlay windows after the second copy, not 1"
h_log "a second copy ended with status 1 and mapped no window"

# --- F10 in another wine window -----------------------------------------------------------
h_spawn keys "$wine" "$smoke" key-window
h_wait_window "$H_LAST_PID" name '^kibchat key window$' 30
KEYS=$H_WIN
xdotool mousemove 10 790
# shellcheck disable=SC2317 # called through h_poll
keys_focused() {
    xdotool windowactivate "$KEYS" 2>/dev/null
    [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$KEYS" ]]
}
h_poll 10 keys_focused || fail "the key window did not get the focus"
BUTTON=("$((OX + OW - 84))" "$((OY + 3))" 60 20)
h_grab locked "${BUTTON[@]}"
# Waits until the lock button shows (same) or no longer shows (differs) the locked look.
button_is() {
    h_grab now "${BUTTON[@]}"
    local diff
    diff=$(h_grab_diff locked now)
    if [[ $1 == same ]]; then ((diff == 0)); else ((diff > 20)); fi
}
key_lines() { tr -d '\r' <"$H_TMP/keys.log" | grep -c "^key F10 $1$"; }

xdotool key F10 || fail "xdotool key F10 failed"
h_poll 5 button_is differs || fail "F10 in another window did not unlock the overlay"
h_poll 5 eval '(($(key_lines down) == 1 && $(key_lines up) == 1))' ||
    fail "the focused window did not receive F10: $(cat "$H_TMP/keys.log")"
h_grab unlocked "${BUTTON[@]}"
xdotool key F10 || fail "xdotool key F10 failed"
h_poll 5 button_is same || fail "a second F10 did not lock the overlay again"
xdotool key alt+F10 || fail "xdotool key alt+F10 failed"
h_poll 5 eval '(($(key_lines down) == 3))' || fail "the window did not receive Alt+F10"
sleep 1
button_is same || fail "Alt+F10 toggled lock mode"
h_log "F10 toggled lock mode both ways through the hook; the key window got every key; Alt+F10 did nothing"

# --- the close button --------------------------------------------------------------------
xdotool mousemove 10 790
close_overlay
check_config "$app_dir/config.ini"
grep -q '^roomName=demo-room' "$app_dir/config.ini" || fail "config.ini lost the room"
h_log "the close button ended the overlay with status 0 and wrote config.ini"

# --- the end of the session --------------------------------------------------------------
rm -f "$app_dir/config.ini"
start_overlay again "$app_dir"
wait_overlay
timeout 60 "$wine" wineboot --end-session >"$H_TMP/endsession.log" 2>&1
h_wait_exit "$APP_PID" 20 || fail "the end of the session did not end the overlay"
# As Windows does, wineboot ends the process itself once WM_ENDSESSION is answered (a kill,
# status 137 here): the settings file shows that the shutdown ran before that answer.
check_config "$app_dir/config.ini"
h_log "the end of the session ended the overlay normally and wrote config.ini"
h_log "PASS"
