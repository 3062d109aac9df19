# scripts/checks.sh: sourced by test-windows and test-package: named checks -> PASS/FAIL lines and
# the closing "N passed, N failed" line that test readers recognise.
# Leaves: record, report_checks, and the variables passed and failures.
passed=0
failures=()

record() {  # record NAME STATUS
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
    echo "PASS $1"
  else
    failures+=("$1")
    echo "FAIL $1 (status $2)"
  fi
}

# report_checks LABEL: prints "LABEL: N passed, N failed" and names each failure; returns 1 when
# anything failed.
report_checks() {
  echo "$1: $passed passed, ${#failures[@]} failed"
  local name
  for name in "${failures[@]}"; do
    echo "  failed: $name"
  done
  [ ${#failures[@]} -eq 0 ]
}
