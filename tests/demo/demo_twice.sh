#!/usr/bin/env bash
# Runs scripts/demo twice on a fresh folder against an already built tree and checks what a
# user is told: the first run uploads everything, takes the orders over (the unknown
# positions and the cancellation included) and sends the queued status changes; the second
# finds nothing new and still exits 0.
#
#   demo_twice.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -uo pipefail

source_dir=$1
build_dir=$2
work_dir=$3
run_dir="$work_dir/demo-run"
rm -rf -- "$run_dir"
mkdir -p -- "$work_dir"

failures=0
expect() {
  local output=$1 line=$2 label=$3
  if ! grep -qxF -- "$line" <<<"$output"; then
    echo "FAIL ($label): missing line: $line"
    failures=$((failures + 1))
  fi
}
expect_match() {
  local output=$1 pattern=$2 label=$3
  if ! grep -qE -- "$pattern" <<<"$output"; then
    echo "FAIL ($label): no line matches: $pattern"
    failures=$((failures + 1))
  fi
}

run_demo() {
  local label=$1 status
  output=$(timeout 300 "$source_dir/scripts/demo" --no-build --build-dir "$build_dir" "$run_dir" 2>&1)
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL ($label): exit status $status"
    failures=$((failures + 1))
  fi
  printf '%s\n' "---- $label" "$output" > "$work_dir/demo-$label.out"
}

run_demo first
first=$output
expect "$first" "== Summary of this run (service exit status 0) ==" first
expect "$first" "  full upload (POSTALLPRICES): done" first
expect "$first" "  withdrawals of the store's list: 1" first
expect "$first" "  parts sent: 6" first
expect "$first" "  positions published at the marketplace: 3000" first
expect_match "$first" '^  order 9001 .*: accepted, 2 line\(s\)$' first
expect_match "$first" '^  order 9002 .*: accepted, 1 line\(s\)$' first
expect_match "$first" '^  order 9003 .*: import failed, 0 line\(s\);.*"99999999"' first
expect_match "$first" '^  order 9004 .*: import failed, 1 line\(s\);.*"88888888"' first
expect_match "$first" '^  order 9005 .*: cancelled, 0 line\(s\)' first
expect "$first" "  orders created: 5" first
expect "$first" "  acknowledged at the marketplace (all runs): [9001,9002,9003,9004,9005]" first
expect "$first" "  sent: 5" first
expect "$first" "  still queued: 0" first
expect_match "$first" '^  order 9003 not taken over: ' first
expect_match "$first" $'\tполная выгрузка прайсов - ОК$' first

run_demo second
second=$output
expect "$second" "== Summary of this run (service exit status 0) ==" second
expect "$second" "  withdrawals of the store's list: 0" second
expect "$second" "  orders created: 0" second
expect "$second" "  sent: 0" second
expect "$second" "  positions published at the marketplace: 3000" second
expect_match "$second" $'\tчастичная выгрузка прайсов( - пропущено|\\.\\.\\.)' second
expect "$second" "  none" second

if [ "$failures" -ne 0 ]; then
  cat "$work_dir/demo-first.out" "$work_dir/demo-second.out"
  exit 1
fi
echo "demo ran twice as expected"
