#!/usr/bin/env bash
# Runs every test function of every test program alone, one process each, so
# that a case that leans on an earlier one fails. Usage:
#   tests/run-each-case.sh BUILD_DIR [PROGRAM...]
set -uo pipefail
bin="${1:?build folder}/bin"
shift
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(tst_db tst_data tst_model tst_controls tst_form tst_form_entry tst_server tst_module tst_host)
export QT_QPA_PLATFORM=offscreen
failed=0
for program in "${programs[@]}"; do
    if ! functions=$("$bin/$program" -functions 2>/dev/null); then
        echo "FAIL  $program: cannot list its test functions"
        failed=1
        continue
    fi
    for function in $(echo "$functions" | sed 's/()$//'); do
        if "$bin/$program" "$function" -silent >/tmp/run-each-case.$$ 2>&1; then
            echo "ok    $program $function"
        else
            echo "FAIL  $program $function"
            sed 's/^/      /' /tmp/run-each-case.$$
            failed=1
        fi
    done
done
rm -f /tmp/run-each-case.$$
exit $failed
