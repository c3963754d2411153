# Shared by the package checks: each result on a line of its own, failures counted, and the
# processes a check starts ended with it. Sourced, not run.

failures=0
fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
# check WHAT WHY COMMAND...: WHY explains a failure of COMMAND.
check()
{
    local what=$1 why=$2
    shift 2
    if "$@"; then pass "$what"; else fail "$what: $why"; fi
}

pids=()
cleanup()
{
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
}
trap cleanup EXIT
