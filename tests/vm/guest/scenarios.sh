#!/bin/sh
# Runs each scenario named in VM_SCENARIOS (comma-separated) in turn, with
# its time, and prints a marker line for each; exit 0 only if all passed.
# A scenario is guest/scenario-NAME.sh: exit 0 passes, else the first line
# it wrote to $SCENARIO_WHY says why it failed.
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
