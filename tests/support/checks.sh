# Sourced by the test scripts that tally their checks instead of stopping at
# the first failure:
#   check DESCRIPTION COMMAND...  runs COMMAND, prints "ok" or "FAIL" with
#                                 the description and counts a failure
#   end_checks                    prints the tally; succeeds when none failed
failures=0

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok    $what"
    else
        echo "FAIL  $what"
        failures=$((failures + 1))
    fi
}

end_checks() {
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}
