# shellcheck shell=bash
# shellcheck disable=SC2034 # the SS_ variables set here are read by the sourcing scripts
# A private headless Wayland session for scripts and tests, sourced: sway (or weston, which has
# no layer shell) with no GPU and no input devices, on a socket in a runtime folder of its own,
# and WAYLAND_DISPLAY exported as that socket's full path once it answers. Stopped by its PID.
#
#   source tools/swaysession.sh
#   ss_start; case $? in 0) ;; 2) echo "skipped: $SS_ERROR"; exit 0 ;; *) echo "$SS_ERROR"; exit 1 ;; esac
#   ...
#   ss_stop            # also run by the EXIT trap; safe to call twice
#
# sway refuses to run as root. Run by root, the compositor runs as the user SS_USER
# (default kibchat-sway), created as a system user without a home when missing; a root client
# may still connect to its socket. ss_start returns 2 (skip) when that is impossible.
#
# Settings, read by ss_start:
#   SS_COMPOSITOR  sway (default) or weston
#   SS_OUTPUT      WxH of the one output (default 1280x720)
#   SS_CONFIG      extra lines for sway's configuration (bindings, rules)
#   SS_LOG_DIR     where compositor.log goes; default a folder of its own, removed by ss_stop
# Set by ss_start: WAYLAND_DISPLAY, SWAYSOCK (sway only), SS_PID, SS_RUNTIME_DIR, SS_ERROR.
# SS_RUN_AS: the command prefix that runs a program as the compositor's user (empty when that
# is the caller), for a program that the compositor's own key bindings must reach.
# Uses the poll, clock and stop helpers of tools/xsession.sh. Call ss_start in the shell that
# calls ss_stop, not in a subshell.

# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

SS_PID=""
SS_ERROR=""
SS_RUNTIME_DIR=""
_SS_OWN_DIR=""
_SS_WAYLAND_BEFORE=""
_SS_HAD_WAYLAND=no

_ss_socket() {
    local s
    for s in "$SS_RUNTIME_DIR"/wayland-*; do
        [[ -S "$s" ]] && { echo "$s"; return 0; }
    done
    return 1
}
_ss_ready() {
    local socket
    socket=$(_ss_socket) || return 1
    if [[ "$SS_COMPOSITOR" == sway ]]; then
        # The IPC socket comes last, once the configuration has been read.
        compgen -G "$SS_RUNTIME_DIR/sway-ipc.*.sock" >/dev/null || return 1
    fi
    WAYLAND_DISPLAY=$socket wayland-info >/dev/null 2>&1
}

# The user the compositor runs as; empty when it is the caller itself.
SS_RUN_AS=()
_ss_pick_user() {
    SS_RUN_AS=()
    [[ "$(id -u)" -eq 0 ]] || return 0
    local user=${SS_USER:-kibchat-sway}
    if ! id -u "$user" >/dev/null 2>&1; then
        command -v useradd >/dev/null || {
            SS_ERROR="running as root, and useradd is missing to create the user '$user'"
            return 2
        }
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            "$user" >/dev/null 2>&1 || id -u "$user" >/dev/null 2>&1 || {
            SS_ERROR="running as root, and the user '$user' could not be created"
            return 2
        }
    fi
    command -v setpriv >/dev/null || {
        SS_ERROR="running as root, and setpriv is missing to run the compositor as '$user'"
        return 2
    }
    SS_RUN_AS=(setpriv "--reuid=$(id -u "$user")" "--regid=$(id -g "$user")" --clear-groups)
    chown "$user:" "$SS_RUNTIME_DIR"
}

_ss_write_sway_config() {
    local w=${SS_OUTPUT%x*} h=${SS_OUTPUT#*x}
    {
        echo "output HEADLESS-1 mode ${w}x${h} position 0 0 bg #000080 solid_color"
        echo "xwayland disable"
        echo "default_border none"
        echo "focus_follows_mouse no"
        printf '%s\n' "${SS_CONFIG:-}"
    } >"$SS_RUNTIME_DIR/sway.conf"
}

ss_start() {
    SS_COMPOSITOR=${SS_COMPOSITOR:-sway}
    SS_OUTPUT=${SS_OUTPUT:-1280x720}
    SS_ERROR=""
    if [[ -n "$SS_PID" ]] && _xs_alive "$SS_PID"; then
        SS_ERROR="a Wayland session of this shell is running already (pid $SS_PID)"
        return 1
    fi
    local tool tools=("$SS_COMPOSITOR" wayland-info)
    [[ "$SS_COMPOSITOR" == sway ]] && tools+=(swaymsg)
    case $SS_COMPOSITOR in
    sway | weston) ;;
    *)
        SS_ERROR="unknown compositor '$SS_COMPOSITOR'"
        return 1
        ;;
    esac
    for tool in "${tools[@]}"; do
        command -v "$tool" >/dev/null || {
            SS_ERROR="required tool '$tool' is not installed"
            return 1
        }
    done
    if [[ -z "${SS_LOG_DIR:-}" ]]; then
        _SS_OWN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-wl.XXXXXX") || {
            SS_ERROR="mktemp failed"
            return 1
        }
        chmod 755 "$_SS_OWN_DIR"
        SS_LOG_DIR=$_SS_OWN_DIR
    fi
    # The compositor's own runtime folder, private to it (0700, its owner's).
    SS_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-wlrun.XXXXXX") || {
        SS_ERROR="mktemp failed"
        return 1
    }
    local rc=0
    _ss_pick_user || rc=$?
    if ((rc != 0)); then
        rm -rf "$SS_RUNTIME_DIR"
        SS_RUNTIME_DIR=""
        return "$rc"
    fi
    _SS_HAD_WAYLAND=no
    [[ -n "${WAYLAND_DISPLAY+set}" ]] && _SS_HAD_WAYLAND=yes _SS_WAYLAND_BEFORE=$WAYLAND_DISPLAY
    _xs_chain_traps ss_stop

    local env=(env -i PATH="$PATH" XDG_RUNTIME_DIR="$SS_RUNTIME_DIR" HOME="$SS_RUNTIME_DIR"
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1)
    if [[ "$SS_COMPOSITOR" == sway ]]; then
        _ss_write_sway_config
        "${SS_RUN_AS[@]}" "${env[@]}" sway -c "$SS_RUNTIME_DIR/sway.conf" \
            >"$SS_LOG_DIR/compositor.log" 2>&1 &
    else
        "${SS_RUN_AS[@]}" "${env[@]}" weston --backend=headless-backend.so --socket=wayland-0 \
            --width="${SS_OUTPUT%x*}" --height="${SS_OUTPUT#*x}" --idle-time=0 \
            >"$SS_LOG_DIR/compositor.log" 2>&1 &
    fi
    SS_PID=$!
    xs_poll 15 _ss_ready || {
        SS_ERROR="$SS_COMPOSITOR did not come up (alive: $(_xs_alive "$SS_PID" && echo yes || echo no)): $(tail -n 3 "$SS_LOG_DIR/compositor.log" | tr '\n' ' ')"
        ss_stop
        return 1
    }
    WAYLAND_DISPLAY=$(_ss_socket)
    export WAYLAND_DISPLAY
    if [[ "$SS_COMPOSITOR" == sway ]]; then
        SWAYSOCK=$(compgen -G "$SS_RUNTIME_DIR/sway-ipc.*.sock" | head -n1)
        export SWAYSOCK
    fi
    return 0
}

# Whether the running compositor offers the Wayland global INTERFACE.
ss_has_global() { wayland-info 2>/dev/null | grep -q "'$1'"; }

ss_stop() {
    _xs_stop_pid "$SS_PID"
    if [[ -n "$SS_PID" ]]; then
        SS_PID=""
        if [[ "$_SS_HAD_WAYLAND" == yes ]]; then
            export WAYLAND_DISPLAY=$_SS_WAYLAND_BEFORE
        else
            unset WAYLAND_DISPLAY
        fi
        unset SWAYSOCK
    fi
    [[ -n "$SS_RUNTIME_DIR" ]] && rm -rf "$SS_RUNTIME_DIR"
    SS_RUNTIME_DIR=""
    if [[ -n "$_SS_OWN_DIR" ]]; then
        rm -rf "$_SS_OWN_DIR"
        [[ "${SS_LOG_DIR:-}" == "$_SS_OWN_DIR" ]] && SS_LOG_DIR=""
        _SS_OWN_DIR=""
    fi
    return 0
}
