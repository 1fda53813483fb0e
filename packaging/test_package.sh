#!/usr/bin/env bash
# The Debian package from end to end: cpack builds it from the build tree; its control data
# (Depends names the package of every library the binaries link, the Qt libraries and a CJK
# font) and its file list are checked; it is unpacked into a temporary root (never installed
# into the system) and the INSTALLED launcher is started from there against the installed
# simulator in a private Xvfb + openbox session:
#   1. a fresh XDG_DATA_HOME: the launcher makes XDG_DATA_HOME/kibchat, links images/ to the
#      unpacked pictures and execs the overlay there (same PID, that working directory, the
#      arguments passed on); the title bar shows its pictures; a second copy exits 1;
#      SIGTERM ends it with status 0 and config.ini written in that directory.
#   2. XDG_DATA_HOME unset: ~/.local/share/kibchat, whose images link is broken and whose
#      config.ini names a busy room: the link is renewed, the room is polled from the
#      simulator, and the room name is still there after SIGTERM.
#   3. the control: the same overlay binary in a folder without images paints its title text
#      but none of the picture regions checked in 1 and 2, so those checks do see the images.
#   4. the launcher with the pictures missing from the installation refuses to start.
# Before that, the launcher's other rules run with a stand-in overlay (no display needed).
# Why pixels: the pictures are read while painting and not kept open, so /proc/PID/fd shows
# nothing; the live indicator and the close button are pictures drawn on black, so their
# regions are bright only when the images resolve.
# Usage: test_package.sh CPACK CPACK_CONFIG VERSION SOURCE_IMAGES_DIR ARTEFACTS_DIR

# The harness helpers: Xvfb + openbox, bounded polls, processes stopped by their own PID.
# shellcheck source=../tests/gui/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/gui/harness.sh" ||
    { echo "package_deb: FAIL: cannot read tests/gui/harness.sh" >&2; exit 1; }
H_NAME=package_deb
PKG_TMP=""
# The harness's EXIT trap (set again by h_begin) runs h_cleanup: this one also removes the
# package's own temporary folder.
eval "harness_$(declare -f h_cleanup)"
h_cleanup() {
    harness_h_cleanup
    [[ -n "$PKG_TMP" ]] && rm -rf "$PKG_TMP"
}
trap h_cleanup EXIT
trap 'exit 130' INT TERM
# fail() screenshots $DISPLAY: before the private session exists that must not be the
# developer's own desktop.
unset DISPLAY WAYLAND_DISPLAY

(($# == 5)) || fail "usage: test_package.sh CPACK CPACK_CONFIG VERSION SOURCE_IMAGES ARTEFACTS"
CPACK=$1 CPACK_CONFIG=$2 VERSION=$3 SOURCE_IMAGES=$4
ARTEFACTS_DIR=$5
[[ -f "$CPACK_CONFIG" ]] || fail "no CPack configuration at $CPACK_CONFIG"
SOURCE_IMAGES=$(cd "$SOURCE_IMAGES" && pwd) || fail "no images folder $4"

PKG_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-package.XXXXXX") || fail "mktemp failed"

# --- the package ------------------------------------------------------------------------

h_log "building the package with $CPACK"
"$CPACK" --config "$CPACK_CONFIG" -B "$PKG_TMP/out" >"$PKG_TMP/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 20 "$PKG_TMP/cpack.log")"
ARCH=$(dpkg --print-architecture) || fail "dpkg --print-architecture failed"
DEB="$PKG_TMP/out/kibchat_${VERSION}_${ARCH}.deb"
[[ -f "$DEB" ]] || fail "no $DEB; cpack made: $(ls "$PKG_TMP/out")"
h_log "built ${DEB##*/} ($(stat -c %s "$DEB") bytes)"

field() { dpkg-deb -f "$DEB" "$1"; }
[[ "$(field Package)" == kibchat ]] || fail "Package is '$(field Package)'"
[[ "$(field Version)" == "$VERSION" ]] || fail "Version is '$(field Version)', not $VERSION"
[[ "$(field Architecture)" == "$ARCH" ]] || fail "Architecture is '$(field Architecture)'"
[[ "$(field Section)" == net ]] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] ||
    fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
description=$(field Description)
[[ "$(wc -l <<<"$description")" -ge 3 ]] || fail "no long description: '$description'"
DEPENDS=$(field Depends)
[[ -n "$DEPENDS" ]] || fail "the package declares no Depends"
h_log "Depends: $DEPENDS"

# True when Depends names package $1 (alone or as an alternative, with or without a version).
depends_on() {
    tr ',|' '\n' <<<"$DEPENDS" | sed 's/([^)]*)//; s/^ *//; s/ *$//' | grep -qx -- "$1"
}
for p in libqt5core5a libqt5dbus5 libqt5gui5 libqt5network5 libqt5widgets5 libqt5x11extras5 \
    libx11-6 libxi6 libxcb1 libxcb-shape0 liblayershellqtinterface5 libwayland-client0; do
    depends_on "$p" || fail "Depends lacks $p: $DEPENDS"
done
# The native Wayland path's plugins, which no link shows.
[[ "$(field Recommends)" == "qtwayland5, layer-shell-qt" ]] ||
    fail "Recommends is '$(field Recommends)', not 'qtwayland5, layer-shell-qt'"
# The font is one dependency with two alternatives, not two dependencies.
tr ',' '\n' <<<"$DEPENDS" | sed 's/^ *//; s/ *$//' | grep -qx 'fonts-wqy-microhei | fonts-noto-cjk' ||
    fail "Depends lacks 'fonts-wqy-microhei | fonts-noto-cjk': $DEPENDS"

# The file list, exactly: a stray install rule or a missing picture shows up here.
{
    printf '%s\n' ./usr/bin/kibchat ./usr/bin/kibchat-sim ./usr/libexec/kibchat/kibchat \
        ./usr/share/applications/kibchat.desktop \
        ./usr/share/icons/hicolor/48x48/apps/kibchat.png ./usr/share/man/man1/kibchat.1.gz \
        ./usr/share/doc/kibchat/copyright
    (cd "$SOURCE_IMAGES" && find . -type f -name '*.png' | sed 's|^\.|./usr/share/kibchat/images|')
} | sort >"$PKG_TMP/want.txt"
dpkg-deb -c "$DEB" >"$PKG_TMP/contents.txt" || fail "dpkg-deb -c failed"
awk '$1 !~ /^d/ {print $6}' "$PKG_TMP/contents.txt" | sort >"$PKG_TMP/got.txt"
diff -u "$PKG_TMP/want.txt" "$PKG_TMP/got.txt" >"$PKG_TMP/files.diff" ||
    fail "the package's files differ from the expected list: $(cat "$PKG_TMP/files.diff")"
# The expected list is read from images/, so the pictures the checks below look for are
# named here too.
for picture in icon_close.png icon_unlive.png; do
    grep -q "/buttons/$picture\$" "$PKG_TMP/got.txt" || fail "the package lacks $picture"
done
# Owner root, executables 0755, the rest 0644.
while read -r mode owner _ _ _ path _; do
    [[ "$owner" == root/root ]] || fail "$path is owned by $owner"
    case $path in
    */ | ./usr/bin/kibchat | ./usr/bin/kibchat-sim | ./usr/libexec/kibchat/kibchat)
        want=rwxr-xr-x ;;
    *) want=rw-r--r-- ;;
    esac
    [[ "${mode:1}" == "$want" ]] || fail "$path has mode $mode, expected ?$want"
done <"$PKG_TMP/contents.txt"
h_log "control data and $(wc -l <"$PKG_TMP/got.txt") files as expected"

# --- unpacked ---------------------------------------------------------------------------

ROOT="$PKG_TMP/root"
dpkg-deb -x "$DEB" "$ROOT" || fail "dpkg-deb -x failed"
LAUNCHER="$ROOT/usr/bin/kibchat"
APP_BIN="$ROOT/usr/libexec/kibchat/kibchat"
SIM="$ROOT/usr/bin/kibchat-sim"
INSTALLED_IMAGES="$ROOT/usr/share/kibchat/images"

# The installed binaries run on the system's libraries alone: no search path into a build
# tree, every library found, and each library's Debian package named in Depends.
linked=() # "soname path" of every library either binary links
for bin in "$APP_BIN" "$SIM"; do
    dynamic=$(objdump -p "$bin") || fail "objdump -p $bin failed"
    if grep -E '^ *(RPATH|RUNPATH) ' <<<"$dynamic"; then
        fail "${bin#"$ROOT"} keeps a library search path"
    fi
    libs=$(ldd "$bin") || fail "ldd $bin failed"
    if grep 'not found' <<<"$libs"; then fail "${bin#"$ROOT"} misses libraries"; fi
    while read -r soname; do
        path=$(awk -v so="$soname" '$1 == so && $2 == "=>" {print $3; exit}' <<<"$libs")
        [[ -n "$path" ]] || fail "ldd does not resolve $soname of ${bin#"$ROOT"}"
        linked+=("$soname $path")
    done < <(awk '$1 == "NEEDED" {print $2}' <<<"$dynamic")
done
((${#linked[@]} >= 10)) || fail "only ${#linked[@]} linked libraries found: ${linked[*]}"
# dpkg knows a file by the path its package shipped; /lib and /usr/lib are one folder on
# Debian 12, so each library is asked for in both spellings, all in one (slow) dpkg call.
candidates() { printf '%s\n' "$1" "${1#/usr}" "/usr$1" | sort -u; }
mapfile -t asked < <(for l in "${linked[@]}"; do candidates "${l#* }"; done | sort -u)
owners=$(dpkg -S "${asked[@]}" 2>/dev/null)
for l in "${linked[@]}"; do
    owner=$(candidates "${l#* }" | while read -r c; do
        awk -v c="$c" '{i = index($0, ": " c); if (i && i + 1 + length(c) == length($0)) {
            split(substr($0, 1, i - 1), p, ":"); print p[1]; exit}}' <<<"$owners"
    done | head -n1)
    [[ -n "$owner" ]] || fail "no Debian package owns ${l#* } (${l%% *})"
    depends_on "$owner" || fail "a binary links ${l%% *} from $owner, which Depends lacks"
done
h_log "binaries: no RPATH, every linked library's package is a dependency"

# The copyright file in Debian's machine-readable format: the header, KibChat's files under
# LICENSE's MIT text, and the simulator's paragraph (after the general one: the last match
# counts) with cpp-httplib's copyright.
COPYRIGHT="$ROOT/usr/share/doc/kibchat/copyright"
LICENSE_FILE="$SOURCE_IMAGES/../LICENSE"
[[ "$(head -n1 "$COPYRIGHT")" == "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]] ||
    fail "the copyright file does not start with the machine-readable Format line"
# A line of blanks alone ends a paragraph for some readers: an empty line of text is " .".
! grep -n '^[[:blank:]]\+$' "$COPYRIGHT" || fail "the copyright file has lines of blanks"
awk -v RS= -v out="$PKG_TMP/paragraph" '{ print > (out NR) }' "$COPYRIGHT"
# The value of FIELD in paragraph file $1: the first line's rest, then the continuation lines
# without their leading blank (" ." is an empty line).
dep5() {
    awk -v f="$2" '
        /^[^ \t]/ { on = (index($0, f ":") == 1); if (on) { v = substr($0, length(f) + 2);
                     sub(/^[ \t]+/, "", v); print v }; next }
        on { sub(/^[ \t]/, ""); print ($0 == "." ? "" : $0) }' "$1"
}
general=0 sim=0 licence=0 n=0
for paragraph in "$PKG_TMP"/paragraph*; do
    n=$((n + 1))
    files=$(dep5 "$paragraph" Files) copyright=$(dep5 "$paragraph" Copyright)
    short=$(dep5 "$paragraph" License | head -n1)
    [[ $n == 1 || -n $files || -n $short ]] || fail "paragraph $n has neither Files nor License"
    [[ -z $files || ($copyright && $short) ]] || fail "paragraph $n lacks Copyright or License"
    if [[ $files == "*" ]]; then
        [[ $copyright == "2026 The KibChat developers" && $short == Expat ]] ||
            fail "Files: * is '$copyright' under '$short'"
        general=$n
    elif [[ $files == *usr/bin/kibchat-sim* ]]; then
        grep -q 'The KibChat developers' <<<"$copyright" && grep -q 'Yuji Hirose' <<<"$copyright" ||
            fail "the simulator's paragraph has the copyright '$copyright'"
        [[ $short == Expat ]] || fail "the simulator's paragraph is under '$short'"
        sim=$n
    elif [[ -z $files && $short == Expat ]]; then
        dep5 "$paragraph" License | tail -n +2 >"$PKG_TMP/expat.txt"
        sed '1,/^Copyright/d' "$LICENSE_FILE" | sed '/./,$!d' >"$PKG_TMP/mit.txt"
        diff -u "$PKG_TMP/mit.txt" "$PKG_TMP/expat.txt" >"$PKG_TMP/licence.diff" ||
            fail "the Expat licence text is not LICENSE's: $(cat "$PKG_TMP/licence.diff")"
        licence=$n
    fi
done
[[ "$(head -n1 "$LICENSE_FILE")" == "MIT License" ]] || fail "LICENSE is not the MIT licence"
((general > 0 && sim > general && licence > 0)) ||
    fail "the copyright file lacks a paragraph (Files: * $general, kibchat-sim $sim, Expat $licence)"
h_log "copyright: machine-readable, KibChat and cpp-httplib under LICENSE's MIT text"

# The launcher was configured at build time with paths relative to its folder.
grep -q '@KIBCHAT_' "$LAUNCHER" && fail "the installed launcher still has template markers"
sh -n "$LAUNCHER" || fail "the installed launcher is not valid sh"

# The desktop entry and the icon it names.
DESKTOP="$ROOT/usr/share/applications/kibchat.desktop"
entry() { sed -n "s/^$1=//p" "$DESKTOP"; }
[[ "$(head -n1 "$DESKTOP")" == "[Desktop Entry]" ]] || fail "the desktop entry has no group header"
[[ "$(entry Type)" == Application ]] || fail "desktop Type is '$(entry Type)'"
[[ "$(entry Name)" == KibChat ]] || fail "desktop Name is '$(entry Name)'"
[[ -n "$(entry Comment)" ]] || fail "the desktop entry has no Comment"
[[ -n "$(entry 'Comment\[zh_CN\]')" ]] || fail "the desktop entry has no Comment[zh_CN]"
[[ "$(entry Categories)" == *";" ]] || fail "desktop Categories '$(entry Categories)'"
exec_cmd=$(entry Exec)
[[ "${exec_cmd%% *}" == kibchat && -x "$ROOT/usr/bin/${exec_cmd%% *}" ]] ||
    fail "desktop Exec '$exec_cmd' is not the installed launcher"
icon=$(entry Icon)
icon_file="$ROOT/usr/share/icons/hicolor/48x48/apps/$icon.png"
[[ -f "$icon_file" ]] || fail "desktop Icon '$icon' is not installed in hicolor/48x48"
[[ "$(identify -format '%wx%h' "$icon_file")" == 48x48 ]] || fail "the icon is not 48x48"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$DESKTOP" || fail "desktop-file-validate rejects the entry"
fi
zcat "$ROOT/usr/share/man/man1/kibchat.1.gz" | grep -q '^\.TH KIBCHAT 1' ||
    fail "the man page is not a kibchat(1) page"

# --- the launcher's own rules, with a stand-in overlay -----------------------------------

# A copy of the installed launcher in a prefix whose "overlay" only reports its working
# directory, its QT_QPA_PLATFORM and its arguments; each case has its own HOME and
# XDG_DATA_HOME, and no QT_QPA_PLATFORM unless it sets one.
FAKE="$PKG_TMP/fake"
mkdir -p "$FAKE/bin" "$FAKE/libexec/kibchat" "$FAKE/share/kibchat/images" "$PKG_TMP/old/images"
cp "$LAUNCHER" "$FAKE/bin/kibchat"
cat >"$FAKE/libexec/kibchat/kibchat" <<'STANDIN'
#!/bin/sh
printf '%s\n' "$PWD" "${QT_QPA_PLATFORM-unset}" "$@"
STANDIN
chmod +x "$FAKE/libexec/kibchat/kibchat"
FAKE_IMAGES="$FAKE/share/kibchat/images"
# Usage: fake_run NAME HOME|- XDG_DATA_HOME|- [VAR=VALUE...] COMMAND... (- unsets); output
# in $PKG_TMP/NAME.out.
fake_run() {
    # env takes its -u options before any assignment.
    local name=$1 unset=(-u QT_QPA_PLATFORM) set=()
    if [[ "$2" == - ]]; then unset+=(-u HOME); else set+=("HOME=$2"); fi
    if [[ "$3" == - ]]; then unset+=(-u XDG_DATA_HOME); else set+=("XDG_DATA_HOME=$3"); fi
    shift 3
    env -C / "${unset[@]}" "${set[@]}" "$@" >"$PKG_TMP/$name.out" 2>&1
}
F="$PKG_TMP/fakehome"
# Started through a link elsewhere; an old link to another, still existing installation.
mkdir -p "$F/.local/share/kibchat" "$PKG_TMP/elsewhere"
ln -s "$PKG_TMP/old/images" "$F/.local/share/kibchat/images"
ln -s "$FAKE/bin/kibchat" "$PKG_TMP/elsewhere/kc"
fake_run linked "$F" relative/dir "$PKG_TMP/elsewhere/kc" a "b c" ||
    fail "the launcher through a link failed: $(cat "$PKG_TMP/linked.out")"
[[ "$(cat "$PKG_TMP/linked.out")" == "$F/.local/share/kibchat"$'\n'unset$'\n'a$'\n'"b c" ]] ||
    fail "relative XDG_DATA_HOME, through a link: got '$(cat "$PKG_TMP/linked.out")'"
[[ "$(readlink "$F/.local/share/kibchat/images")" == "$FAKE_IMAGES" ]] ||
    fail "a link to another installation was kept: $(ls -l "$F/.local/share/kibchat/images")"
# Wayland: the overlay chooses its platform itself; the launcher sets none.
fake_run wayland "$F" - WAYLAND_DISPLAY=wayland-0 "$FAKE/bin/kibchat" ||
    fail "wayland: $(cat "$PKG_TMP/wayland.out")"
[[ "$(sed -n 2p "$PKG_TMP/wayland.out")" == unset ]] ||
    fail "under Wayland the launcher set QT_QPA_PLATFORM '$(sed -n 2p "$PKG_TMP/wayland.out")'"
fake_run chosen "$F" - WAYLAND_DISPLAY=wayland-0 QT_QPA_PLATFORM=offscreen "$FAKE/bin/kibchat" ||
    fail "chosen: $(cat "$PKG_TMP/chosen.out")"
[[ "$(sed -n 2p "$PKG_TMP/chosen.out")" == offscreen ]] || fail "the user's QT_QPA_PLATFORM was replaced"
# The user's own images folder is left alone.
mkdir -p "$PKG_TMP/own/kibchat/images"
fake_run own "$F" "$PKG_TMP/own" "$FAKE/bin/kibchat" || fail "own images: $(cat "$PKG_TMP/own.out")"
[[ -d "$PKG_TMP/own/kibchat/images" && ! -L "$PKG_TMP/own/kibchat/images" ]] ||
    fail "the user's own images folder was replaced"
# A file where the link belongs, or no place at all for the directory: refused.
mkdir -p "$PKG_TMP/file/kibchat" && echo keep >"$PKG_TMP/file/kibchat/images"
fake_run file "$F" "$PKG_TMP/file" "$FAKE/bin/kibchat" && fail "a file named images was accepted"
[[ "$(cat "$PKG_TMP/file/kibchat/images")" == keep ]] || fail "the file named images was changed"
grep -q 'neither a folder nor a link' "$PKG_TMP/file.out" || fail "file: $(cat "$PKG_TMP/file.out")"
fake_run nohome - - "$FAKE/bin/kibchat" && fail "the launcher ran without HOME and XDG_DATA_HOME"
grep -q 'neither XDG_DATA_HOME nor HOME' "$PKG_TMP/nohome.out" || fail "nohome: $(cat "$PKG_TMP/nohome.out")"
h_log "launcher rules: links, relative XDG_DATA_HOME, Wayland, own images, refusals"

# --- the installed launcher on a private desktop ----------------------------------------

# The harness wants a probe program; this test opens no probe window.
h_begin package_deb "$LAUNCHER" "$(type -P true)" "$INSTALLED_IMAGES" "$ARTEFACTS_DIR"
h_log "unpacked into $ROOT"

sim_start "$H_TMP/sim.log" "$SIM" --seed 7 --log "$H_TMP/requests.log" ||
    fail "the installed simulator: $SIM_ERROR"
H_PIDS+=("$SIM_PID")

# Starts COMMAND... in DIR with its output in $H_TMP/LOG.log; sets H_LAST_PID, which exec
# makes the command's own PID.
start_in() {
    local dir=$1 log=$2
    shift 2
    (cd "$dir" && exec "$@") >"$H_TMP/$log.log" 2>&1 &
    H_LAST_PID=$!
    H_PIDS+=("$H_LAST_PID")
}
# From /, so that only the launcher can put the overlay where it belongs.
start_from_root() { start_in / "$@"; }

# The brightest grey level of a rectangle of the overlay, relative to its origin.
level() { h_region_max $((OX + $1)) $((OY + $2)) "$3" "$4"; }
# The title bar's pictures: the live indicator (a style sheet's background image, x 6..17,
# y 7..18) and the close button (x OW-18..OW-6, y 7..19); text is never drawn there.
live_level() { level 6 7 12 12; }
close_level() { level $((OW - 18)) 7 12 12; }
title_text_level() { level 22 5 40 16; } # "房间号:", drawn with no picture
pictures_shown() {
    local live close
    live=$(live_level) close=$(close_level)
    ((${live:-0} > 80 && ${close:-0} > 80))
}

# Checks the overlay started by the launcher as PID with per-user directory DIR.
check_started() {
    local pid=$1 dir=$2
    h_wait_window "$pid" classname '^kibchat$'
    h_geometry "$H_WIN"
    OX=$GX OY=$GY OW=$GW OH=$GH
    # exec: the window belongs to the very process the launcher was started as.
    [[ "$(readlink "/proc/$pid/exe")" == "$APP_BIN" ]] ||
        fail "pid $pid runs $(readlink "/proc/$pid/exe"), not the installed overlay"
    [[ "$(readlink "/proc/$pid/cwd")" == "$dir" ]] ||
        fail "the overlay runs in $(readlink "/proc/$pid/cwd"), not $dir"
    [[ -L "$dir/images" && "$(readlink -f "$dir/images")" == "$INSTALLED_IMAGES" ]] ||
        fail "$dir/images does not lead to the installed pictures: $(ls -l "$dir/images" 2>&1)"
    h_poll 10 pictures_shown ||
        fail "the title bar shows no pictures (live $(live_level), close $(close_level))"
}

# Sends SIGTERM to PID and checks a normal end that wrote DIR/config.ini.
check_normal_end() {
    local pid=$1 dir=$2
    kill -TERM "$pid" || fail "cannot signal pid $pid"
    h_wait_exit "$pid" 5 || fail "the overlay did not end within 5 s of SIGTERM"
    ((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS after SIGTERM"
    grep -q '^appHeight=' "$dir/config.ini" 2>/dev/null ||
        fail "no settings written to $dir/config.ini"
}

# 1. A fresh XDG_DATA_HOME (set by the harness); HOME must not be touched.
export HOME="$H_TMP/home1"
mkdir -p "$HOME"
DIR1="$XDG_DATA_HOME/kibchat"
[[ ! -e "$DIR1" ]] || fail "$DIR1 exists before the first start"
start_from_root app1 "$LAUNCHER" --package-test-arg "two words"
APP1=$H_LAST_PID
check_started "$APP1" "$DIR1"
mapfile -d '' argv <"/proc/$APP1/cmdline"
[[ "${argv[*]:1}" == "--package-test-arg two words" && ${#argv[@]} == 3 ]] ||
    fail "the overlay got the arguments '${argv[*]:1}' (${#argv[@]} words with its name)"
h_screenshot package-titlebar "$OX" "$OY" "$OW" 24 || fail "screenshot failed"
h_log "run 1: overlay pid $APP1 in $DIR1 shows its pictures (live $(live_level), close $(close_level))"

# The single-instance guard still works through the launcher.
start_from_root second "$LAUNCHER"
SECOND=$H_LAST_PID
h_wait_exit "$SECOND" 10 || fail "a second copy is still running after 10 s"
((H_STATUS == 1)) || fail "a second copy exited with $H_STATUS, expected 1"
h_alive "$APP1" || fail "the first copy ended when the second started"

check_normal_end "$APP1" "$DIR1"
[[ ! -e "$HOME/.local" ]] || fail "the launcher used HOME although XDG_DATA_HOME is set"
h_log "run 1: a second copy exited 1; SIGTERM: status 0, config.ini written"

# 2. XDG_DATA_HOME unset; a broken images link and a config.ini from an earlier start.
export HOME="$H_TMP/home2"
unset XDG_DATA_HOME
DIR2="$HOME/.local/share/kibchat"
mkdir -p "$DIR2"
ln -s "$H_TMP/removed-prefix/share/kibchat/images" "$DIR2/images"
printf '[Config]\nroomName=busy\n' >"$DIR2/config.ini"
start_from_root app2 "$LAUNCHER"
APP2=$H_LAST_PID
check_started "$APP2" "$DIR2"
polled() { grep -Eq ' /chatroom/msgs/[^ ]* 200$' "$H_TMP/requests.log"; }
h_poll 15 polled || fail "the overlay never polled the room's messages from the simulator"
check_normal_end "$APP2" "$DIR2"
grep -qx 'roomName=busy' "$DIR2/config.ini" || fail "the room name was not kept in config.ini"
h_log "run 2: broken link renewed, room polled from the simulator, settings kept"

# 3. The control: the overlay binary alone, in a folder without images.
mkdir -p "$H_TMP/no-images"
start_in "$H_TMP/no-images" control "$APP_BIN"
CONTROL=$H_LAST_PID
h_wait_window "$CONTROL" classname '^kibchat$'
h_geometry "$H_WIN"
OX=$GX OY=$GY OW=$GW OH=$GH
text_drawn() {
    local text
    text=$(title_text_level)
    ((${text:-0} > 80))
}
h_poll 10 text_drawn || fail "the control overlay painted no title text"
sleep 0.5 # the whole title bar is painted in one pass; this only absorbs a late expose
live=$(live_level) close=$(close_level)
((${live:-255} <= 40 && ${close:-255} <= 40)) ||
    fail "without images the picture regions are bright (live $live, close $close):" \
        "the checks above would prove nothing"
h_screenshot package-titlebar-without-images "$OX" "$OY" "$OW" 24 || fail "screenshot failed"
h_stop "$CONTROL"
h_log "run 3: without images the same regions stay dark"

# 4. An installation without its pictures: the launcher says so and starts nothing.
mv "$INSTALLED_IMAGES" "$INSTALLED_IMAGES.away" || fail "cannot move the pictures away"
start_from_root broken "$LAUNCHER"
h_wait_exit "$H_LAST_PID" 10 || fail "the launcher still runs without installed images"
mv "$INSTALLED_IMAGES.away" "$INSTALLED_IMAGES" || fail "cannot move the pictures back"
((H_STATUS == 1)) || fail "the launcher exited $H_STATUS without installed images"
grep -q 'images are missing' "$H_TMP/broken.log" ||
    fail "the launcher did not name the missing images: $(cat "$H_TMP/broken.log")"

h_stop "$SIM_PID"
h_log "PASS"
