#!/usr/bin/env bash
# Sources the installed bash completion of tessera-scale and checks what it offers for partly
# typed command lines, in a folder holding images, other files and a subfolder.
#
#   bash_completion.sh COMPLETION_FILE WORK_DIR
set -euo pipefail
completion=$1
work_dir=$2

rm -rf "$work_dir"
mkdir -p "$work_dir/sprites"
touch "$work_dir/hero.png" "$work_dir/Walk.GIF" "$work_dir/tile.webp" "$work_dir/notes.txt" \
    "$work_dir/hero copy.bmp"
cd "$work_dir"
# shellcheck source=/dev/null
source "$completion"
if [[ $(complete -p tessera-scale) != "complete -F _tessera_scale tessera-scale" ]]; then
    echo "sourcing $completion did not register the completion of tessera-scale" >&2
    exit 1
fi

failures=0
# check 'WORDS AS BASH SPLITS THEM' 'EXPECTED WORDS, SORTED, SEPARATED BY |': the last word is
# the one being completed.
check() {
    eval "COMP_WORDS=($1)"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tessera_scale || true # compopt fails outside a real completion; that is expected here
    local offered
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|')
    if [[ $offered != "$2" ]]; then
        echo "tessera-scale completion of ($1): offered '$offered', expected '$2'" >&2
        failures=$((failures + 1))
    fi
}

check "tessera-scale -" "--background|--factor|--grid|--help|--jobs|--output|--quiet|--version|--wrap|-f|-h|-j|-o|-q"
check "tessera-scale --w" "--wrap"
check "tessera-scale -f ''" "2|3|4|5"
check "tessera-scale --factor 4" "4"
check "tessera-scale --factor = ''" "2|3|4|5"
check "tessera-scale --factor = 3" "3"
check "tessera-scale -o ''" "sprites"
check "tessera-scale --output = s" "sprites"
check "tessera-scale --grid ''" ""
check "tessera-scale -j 2 ''" "Walk.GIF|hero copy.bmp|hero.png|sprites|tile.webp"
check "tessera-scale -f 3 --wrap h" "hero copy.bmp|hero.png"
check "tessera-scale n" ""
exit $((failures > 0))
