#!/bin/sh
# The user-facing `kibchat` command. The overlay reads images/ and config.ini from its working
# directory and never looks in its installation folder, so this starts it in a per-user
# directory, ${XDG_DATA_HOME:-$HOME/.local/share}/kibchat, where config.ini lives and where
# `images` is a link to the installed pictures.
#
# This file is a template: CMake fills in the two paths below (relative to the installed
# launcher's folder) and installs the result as bin/kibchat. Relative paths keep a moved or
# temporary prefix working (DESTDIR staging, `dpkg-deb -x`, `cmake --install --prefix`).
set -eu

fail() {
    printf 'kibchat: %s\n' "$*" >&2
    exit 1
}

# Resolved, so that a link to the launcher (e.g. ~/bin/kibchat) still finds the prefix.
self=$(readlink -f -- "$0") || fail "cannot resolve the launcher's own path '$0'"
bindir=${self%/*}
app="$bindir/@KIBCHAT_LAUNCHER_APP@"
images=$(readlink -f -- "$bindir/@KIBCHAT_LAUNCHER_IMAGES@") ||
    fail "the installed images are missing: $bindir/@KIBCHAT_LAUNCHER_IMAGES@"
[ -x "$app" ] || fail "the overlay program is missing: $app"
[ -d "$images" ] || fail "the installed images are missing: $images"

# The XDG rules: an unset, empty or relative XDG_DATA_HOME falls back to ~/.local/share.
data_home=${XDG_DATA_HOME:-}
case $data_home in
/*) ;;
*)
    [ -n "${HOME:-}" ] || fail "neither XDG_DATA_HOME nor HOME is set"
    data_home="$HOME/.local/share"
    ;;
esac
dir="$data_home/kibchat"
mkdir -p -- "$dir" || fail "cannot create $dir"

# images/ is a link, so an upgrade in place is picked up at once. A link that is broken or
# points to another installation (a removed or moved prefix) is replaced; the new link is made
# beside it and renamed over it, so a concurrent start never sees no link at all. A real
# directory is the user's own set of pictures and is left alone.
link="$dir/images"
if [ -L "$link" ] || [ ! -e "$link" ]; then
    if [ "$(readlink -- "$link" 2>/dev/null || true)" != "$images" ]; then
        tmp="$dir/.images.$$"
        rm -f -- "$tmp"
        if ! ln -s -- "$images" "$tmp" || ! mv -fT -- "$tmp" "$link"; then
            rm -f -- "$tmp"
            fail "cannot link $link to $images"
        fi
    fi
elif [ ! -d "$link" ]; then
    fail "$link is neither a folder nor a link; move it away and start again"
fi

# No platform is forced here: in a Wayland session the overlay itself picks the native one
# where the compositor has the layer shell, and XWayland elsewhere.

cd -- "$dir" || fail "cannot enter $dir"
# exec: the overlay takes this process's place, so its single-instance guard, its PID and the
# signals sent to it are the launcher's own.
exec "$app" "$@"
