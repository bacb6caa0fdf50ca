#!/usr/bin/env bash
# Fails when a file of the product includes a header of a layer above its
# own (docs/ARCHITECTURE.md has the picture). The build checks the calls
# (each library layer is linked alone); this checks the includes, which the
# compiler cannot, since every folder is reached from the repository root.
#   tools/check-layers.sh            check the tree
#   tools/check-layers.sh --counts   also print the includes between layers
set -euo pipefail
cd "$(dirname "$0")/.."

# Each layer and the layers it stands on directly; what those stand on is
# allowed too. kxapi is the public C header, which every library layer may
# name.
declare -A stands_on=(
  [crypto]=""
  [platform]="crypto"
  [kxapi]=""
  [common]="platform kxapi"
  [device]="common"
  [windev]="device"
  [labels]="windev"
  [fs]="labels"
  [arch]="fs"
  [parted]="arch"
  [core]="kxapi platform"
  [widgets]="core"
  [ui]="widgets"
  [pages]="ui"
  [shell]="pages"
  [app]="shell"
  [cli]="core"
  [tools]="platform"
)

# The layer of a path, whether a file's own path or an include's.
layer_of() {
  case "$1" in
    crypto/*) echo crypto ;;
    platform/*) echo platform ;;
    kx/*|include/*) echo kxapi ;;
    common/*) echo common ;;
    device/*) echo device ;;
    windev/*) echo windev ;;
    labels/*) echo labels ;;
    fs/*) echo fs ;;
    arch/*) echo arch ;;
    parted/*) echo parted ;;
    app/core/*) echo core ;;
    app/widgets/*) echo widgets ;;
    app/ui/*) echo ui ;;
    app/pages/*) echo pages ;;
    app/shell/*) echo shell ;;
    app/main.cpp) echo app ;;
    cli/*) echo cli ;;
    tools/*) echo tools ;;
    *) echo "" ;;
  esac
}

declare -A allowed=()
allow_below() {  # allow_below LAYER FROM: every layer under FROM
  local l
  for l in ${stands_on[$2]}; do
    allowed["$1 $l"]=1
    allow_below "$1" "$l"
  done
}
for l in "${!stands_on[@]}"; do
  allowed["$l $l"]=1
  allow_below "$l" "$l"
done

# The emulated machine itself is only for the programs that pick the
# machine at start-up; everything else sees Windows through win_*.h.
machine_choosers=" cli/main.cpp app/shell/MachineChoice.cpp "

counts=0
[ "${1:-}" = "--counts" ] && counts=1
declare -A between=()
faults=0
while IFS= read -r -d '' file; do
  own=$(layer_of "$file")
  [ -n "$own" ] || continue
  while IFS=: read -r line target; do
    to=$(layer_of "$target")
    [ -n "$to" ] || continue
    [ "$own" = "$to" ] || between["$own -> $to"]=$(( ${between["$own -> $to"]:-0} + 1 ))
    if [ -z "${allowed["$own $to"]:-}" ]; then
      echo "$file:$line: layer $own includes $target of layer $to above it" >&2
      faults=$((faults + 1))
    elif [ "$to" = platform ] && [ "$own" != platform ] && [ "$own" != tools ] &&
         [[ "$target" != platform/win_* ]] && [[ "$machine_choosers" != *" $file "* ]]; then
      echo "$file:$line: $target is the emulated machine's own; product code uses platform/win_*.h" >&2
      faults=$((faults + 1))
    fi
  done < <(grep -noE '^\s*#\s*include\s+"[^"]+"' "$file" | sed -E 's/^([0-9]+):.*"([^"]+)"/\1:\2/')
  if [ "$own" = core ] && grep -qE '^\s*#\s*include\s+<Q' "$file"; then
    echo "$file: the core is shared with the command line and uses no Qt" >&2
    faults=$((faults + 1))
  fi
done < <(find crypto platform include common device windev labels fs arch parted app cli tools \
  -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null)

if [ "$counts" = 1 ]; then
  for pair in "${!between[@]}"; do echo "${between[$pair]} $pair"; done | sort -k2
fi
if [ "$faults" -gt 0 ]; then
  echo "check-layers: $faults include(s) against the layers" >&2
  exit 1
fi
echo "check-layers: every include points down or within its layer"
