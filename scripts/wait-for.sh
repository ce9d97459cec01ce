# Sourced by the demonstration and the script tests.
# wait_for COMMAND TENTHS: runs COMMAND until it succeeds, for at most TENTHS
# tenths of a second; fails when time runs out.
wait_for() {
    local tries=$2
    until eval "$1"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}
