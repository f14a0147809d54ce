#!/usr/bin/env bash
# Checks the direction of the dependencies between the libraries under src/: each folder
# includes only its own headers and those of the folders it is allowed to build on (and,
# through them, what they build on), and the core folders include no Qt header.
# Usage: tests/layering.sh <src folder>
set -euo pipefail
src=${1:?usage: layering.sh <src folder>}

# folder: the folders it builds on directly ("varnook" is the generated version header).
declare -A below=(
  [base]=""
  [collection]="base"
  [collection/collectionfile]="collection archive"
  [archive]="collection"
  [settings]="archive"
  [net]="base"
  [update]="net settings varnook"
  [transfer]="update"
  [viewer]="settings"
  [desktop]="settings"
  [mail]="desktop"
  [batch]="transfer collection/collectionfile varnook"
  [server]="archive net varnook"
  [ui]="transfer collection/collectionfile viewer mail varnook"
  [app]="ui"
  [varnook]=""
)
core=(base collection archive settings net update transfer viewer desktop mail batch)

allowed() {  # the folders $1 may include, itself among them
  local unit=$1 result="$1" dep
  for dep in ${below[$unit]}; do result+=" $(allowed "$dep")"; done
  # collection/collectionfile names the file; its folder is collection.
  tr ' ' '\n' <<<"$result" | sed 's#/.*##' | sort -u | tr '\n' ' '
}

declare -A ok=()
for unit in "${!below[@]}"; do ok[$unit]=" $(allowed "$unit") "; done

status=0
while IFS= read -r file; do
  rel=${file#"$src"/}
  folder=${rel%%/*}
  unit=$folder
  stem=${rel%.*}
  [ -n "${below[$stem]+x}" ] && unit=$stem
  if [ -z "${below[$unit]+x}" ]; then
    echo "$rel: folder '$folder' is not in the layering table"; status=1; continue
  fi
  while IFS= read -r included; do
    if [[ "${ok[$unit]}" != *" $included "* ]]; then
      echo "$rel includes $included/, which is not below $unit"; status=1
    fi
  done < <(grep -oE '^#include "[a-z_]+/' "$file" | sed 's/#include "//; s#/##' | sort -u)
  if [[ " ${core[*]} " == *" $folder "* ]] && grep -qE '^#include <(Q|q)[A-Za-z]' "$file"; then
    echo "$rel: a core library includes a Qt header"; status=1
  fi
done < <(find "$src" -mindepth 2 \( -name '*.cpp' -o -name '*.h' \) | sort)
[ $status -eq 0 ] && echo "layering: every include goes downwards"
exit $status
