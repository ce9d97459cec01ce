# Sourced by the test scripts here: `expect MESSAGE COMMAND...` runs one check
# and counts it; `finish` prints the closing line and gives the exit status.
passed=0
failed=0

expect() {
    local message=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $message"
        failed=$((failed + 1))
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
