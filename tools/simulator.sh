# shellcheck shell=bash
# shellcheck disable=SC2034 # the SIM_ variables set here are read by the sourcing scripts
# Starting the room simulator from scripts and tests, sourced: it takes a free loopback port,
# and its address is read from the "listening" line it prints once it accepts connections.
#
#   source tools/simulator.sh
#   sim_start OUT SIMULATOR [ARGS...] || { echo "$SIM_ERROR" >&2; exit 1; }
#
# OUT receives the simulator's output. Sets SIM_PID and SIM_ADDRESS (127.0.0.1:PORT) and
# exports the overlay's three service addresses (KIBCHAT_ROOMINFO_URL, KIBCHAT_CHAT_URL,
# KIBCHAT_DOWNLOAD_HOST) pointing at it. The caller stops SIM_PID; call sim_start in the shell
# that does. The waits are those of tools/xsession.sh.

# shellcheck source=SCRIPTDIR/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

SIM_PID=""
SIM_ADDRESS=""
SIM_ERROR=""

sim_start() {
    local out=$1
    shift
    SIM_ADDRESS="" SIM_ERROR=""
    : >"$out" # its own file, so that no earlier simulator's address is read
    "$@" --port 0 >"$out" 2>&1 &
    SIM_PID=$!
    # shellcheck disable=SC2317 # called through xs_poll
    _sim_up_or_gone() { grep -q '^listening ' "$out" || ! _xs_alive "$SIM_PID"; }
    xs_poll 10 _sim_up_or_gone
    SIM_ADDRESS=$(sed -n 's/^listening \([0-9.:]*\).*/\1/p' "$out")
    if [[ "$SIM_ADDRESS" != 127.0.0.1:* ]]; then
        SIM_ERROR="the simulator did not start: $(tail -n 3 "$out" | tr '\n' ' ')"
        return 1
    fi
    export KIBCHAT_ROOMINFO_URL="http://$SIM_ADDRESS" KIBCHAT_CHAT_URL="http://$SIM_ADDRESS"
    export KIBCHAT_DOWNLOAD_HOST="$SIM_ADDRESS"
}
