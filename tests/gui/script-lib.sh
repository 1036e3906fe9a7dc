# Sourced by the window tests' scripts: how they fail, and how they wait.

fail() { echo "FAIL: $*" >&2; exit 1; }

# wait_for SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds; status 1 when the
# time is up.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}
