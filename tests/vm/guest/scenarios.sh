#!/bin/sh
# Runs each scenario named in VM_SCENARIOS (comma-separated) in turn, with
# its time, and prints a marker line for each; exit 0 only if all passed.
# A scenario is guest/scenario-NAME.sh: exit 0 passes, else the first line
# it wrote to $SCENARIO_WHY says why it failed. A program that dumped core
# fails the scenario; with gdb in the guest its backtraces are shown.
. /vm/lib.sh
failed=""
for name in $(echo "${VM_SCENARIOS:-}" | tr ',' ' '); do
  export SCENARIO_WHY="/tmp/why-$name"
  : >"$SCENARIO_WHY"
  say "scenario $name starts"
  start=$(now_ms)
  if [ -f "/vm/scenario-$name.sh" ]; then
    sh "/vm/scenario-$name.sh"
    rc=$?
  else
    echo "no such scenario" >"$SCENARIO_WHY"
    rc=2
  fi
  ms=$(($(now_ms) - start))
  for core in /tmp/cores/core.*; do
    [ -e "$core" ] || continue
    say "a program crashed: $core"
    program="$ORVANE_BUILD/$(echo "${core#/tmp/cores/core.}" | sed 's/\.[0-9]*$//')"
    if command -v gdb >/dev/null && [ -x "$program" ]; then
      gdb -q -batch -ex "thread apply all bt" "$program" "$core" 2>&1 | grep -v '^\[New LWP'
    fi
    rm -f "$core"
    [ -s "$SCENARIO_WHY" ] || echo "a program crashed: ${core#/tmp/cores/}" >"$SCENARIO_WHY"
    [ $rc -ne 0 ] || rc=1
  done
  if [ $rc -eq 0 ]; then
    echo "VM-SCENARIO $name: pass ($ms ms)"
  else
    why="$(head -n1 "$SCENARIO_WHY")"
    echo "VM-SCENARIO $name: fail ($ms ms) ${why:-exit $rc}"
    failed="$failed $name"
  fi
done
[ -n "${VM_SCENARIOS:-}" ] || { echo "no scenario named" >/tmp/failed; exit 2; }
[ -z "$failed" ] && exit 0
echo "scenarios failed:$failed" >/tmp/failed
exit 1
