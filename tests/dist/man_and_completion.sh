#!/usr/bin/env bash
# man_and_completion.sh SOURCE BIN: the manual pages render without warnings
# and the bash completion offers the program's own options. Exit 77 (skipped)
# when neither man nor bash-completion is installed.
set -euo pipefail
src="$1" bin="$2"
checked=0
if command -v man >/dev/null 2>&1; then
    for page in "$src"/dist/man/*.1; do
        warnings="$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null || true)"
        [ -z "$warnings" ] || { echo "FAIL: $page: $warnings" >&2; exit 1; }
        # Every option of --help is in the manual page.
        if [ "$(basename "$page")" = travoline-cli.1 ]; then
            for opt in $("$bin/travoline-cli" --help | grep -oE '^  (-0, )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
                grep -q -- "${opt//-/\\\\-}" "$page" || { echo "FAIL: $opt is missing from $page" >&2; exit 1; }
            done
        fi
    done
    checked=1
fi
if [ -f /usr/share/bash-completion/bash_completion ]; then
    out="$(PATH="$bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1/dist/completion/travoline-cli"
        complete_words() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                           COMPREPLY=(); _travoline_cli travoline-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"; echo "${COMPREPLY[*]}"; }
        complete_words travoline-cli --ca
        complete_words travoline-cli --case u
        complete_words travoline-cli --exif-mode ""' _ "$src")"
    echo "$out"
    [ "$(sed -n 1p <<<"$out")" = "--case" ] || { echo "FAIL: --ca does not complete to --case" >&2; exit 1; }
    [ "$(sed -n 2p <<<"$out")" = "upper" ] || { echo "FAIL: --case u does not complete to upper" >&2; exit 1; }
    [ "$(sed -n 3p <<<"$out")" = "1 2 3 4 5" ] || { echo "FAIL: --exif-mode values" >&2; exit 1; }
    checked=1
fi
[ "$checked" -eq 1 ] || { echo "neither man nor bash-completion installed: skipped"; exit 77; }
echo "manual pages and completion checked"
