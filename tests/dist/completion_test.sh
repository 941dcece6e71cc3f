#!/usr/bin/env bash
# The bash completion of tamblure-batch, as bash runs it at a TAB:
#   completion_test.sh BASH_COMPLETION SCRIPT PROGRAM
# After "-" it offers exactly the options of PROGRAM --help; after --page its
# two styles; after another option that takes a value, nothing; elsewhere,
# and after "--", the folders. A TAB runs no program.
set -u
source "$1" || exit 1
source "$2" || exit 1
program=$(realpath "$3") || exit 1

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir Photos Vacances ./--html-pages
touch a.jpg
# Stands for the program in the command line: it leaves a mark if run.
printf '#!/bin/sh\ntouch "%s/ran"\n' "$work" >tamblure-batch
chmod +x tamblure-batch

failures=0
# check LINE EXPECTED: the words offered at the end of LINE, sorted.
check() {
    local line=$1 expected=$2
    local -a COMP_WORDS COMPREPLY=()
    local COMP_LINE=$work/$line
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    local COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_POINT=${#COMP_LINE}
    _tamblure_batch "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    got=${got% }
    got=${got# }
    if [[ $got != "$expected" ]]; then
        echo "FAIL: \"$line\": got \"$got\", expected \"$expected\""
        failures=$((failures + 1))
    fi
}

all=$(LC_ALL=C "$program" --help | sed -nE 's/^ +(-[[:alnum:]]), (--[[:alnum:]-]+).*/\1\n\2/p; s/^ +(--[[:alnum:]-]+).*/\1/p' |
    sort | tr '\n' ' ')
check "tamblure-batch -" "${all% }"
check "tamblure-batch --qu" "--quality --quiet"
check "tamblure-batch Photos --k" "--keep-going"
check "tamblure-batch -q " ""
check "tamblure-batch --quality " ""
check "tamblure-batch --title " ""
check "tamblure-batch --shard " ""
check "tamblure-batch --page " "classique moderne"
check "tamblure-batch --page m" "moderne"
check "tamblure-batch --quality=" ""
check "tamblure-batch --html " "--html-pages Photos Vacances"
check "tamblure-batch -r V" "Vacances"
check "tamblure-batch -- --h" "--html-pages"
[[ -e ran ]] && { echo "FAIL: a TAB ran the program"; failures=$((failures + 1)); }

echo "completion: $failures failure(s)"
((failures == 0))
