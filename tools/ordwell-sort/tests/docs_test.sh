#!/usr/bin/env bash
# Checks that the man page and the bash completion offer exactly the options --help lists, that
# the README's examples use only those, and that the completion completes them and leaves file
# names and separator texts alone.
# Usage: docs_test.sh path/to/ordwell-sort path/to/ordwell-sort.1 path/to/completion.bash README.md
set -uo pipefail
sorter="$1" man_page="$2" completion="$3" readme="$4"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The options of the help text's option list, one per line, sorted.
help_options="$("$sorter" --help | grep -E '^  +-' | grep -oE -- '(^|[ ,])--?[a-zA-Z][a-z-]*' | tr -d ' ,' | sort -u)"
[ -n "$help_options" ] || fail "no options found in --help"

# In the man page every option is written with escaped hyphens (\-); the synopsis and the
# description may not add or lose any.
man_options="$(grep -oE -- '\\fB(\\-){1,2}[a-zA-Z]([a-z]|\\-[a-z])*' "$man_page" | sed 's/\\fB//; s/\\-/-/g' | sort -u)"
[ "$help_options" = "$man_options" ] ||
  fail "man page options differ from --help: $(diff <(echo "$help_options") <(echo "$man_options") | grep '^[<>]' | tr '\n' ' ')"
"$sorter" --help | grep -q '^Exit status:' || fail "--help lacks the exit statuses"
grep -q 'Exit status' "$man_page" || fail "man page lacks the exit statuses"
for status in 0 1 2 3; do
  grep -qE "^ $status  " <("$sorter" --help) || fail "--help does not explain exit status $status"
done

# The README's examples: the options on each ordwell-sort command line of its code blocks.
readme_options="$(sed -n '/^```sh/,/^```/p' "$readme" | grep -o 'ordwell-sort[^#|<]*' |
  grep -oE -- '(^| )--?[a-zA-Z][a-z-]*' | tr -d ' ' | sort -u)"
[ -n "$readme_options" ] || fail "no ordwell-sort examples found in the README"
for option in $readme_options; do
  grep -qxF -- "$option" <<<"$help_options" || fail "the README uses $option, which --help does not list"
done

# complete_words WORD...: the completions bash offers for the last word of the command line.
# shellcheck source=/dev/null
source "$completion"
complete_words() {
  COMP_WORDS=(ordwell-sort "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _ordwell_sort
  printf '%s\n' "${COMPREPLY[@]}"
}
completion_options="$(complete_words - | sed 's/=$//' | sort -u)"
[ "$help_options" = "$completion_options" ] ||
  fail "completion options differ from --help: $(diff <(echo "$help_options") <(echo "$completion_options") | grep '^[<>]' | tr '\n' ' ')"
[ "$(complete_words --rev)" = "--reverse" ] || fail "--rev does not complete to --reverse"
[ -z "$(complete_words -t '')" ] || fail "a separator text is completed"
[ -z "$(complete_words --output-separator=)" ] || fail "a separator text after = is completed"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
touch "$work/list.txt" "$work/-dash.txt"
cd "$work" || exit 1
[ "$(complete_words -u li)" = "list.txt" ] || fail "a FILE name is not completed"
[ "$(complete_words -o li)" = "list.txt" ] || fail "an output FILE name is not completed"
[ "$(complete_words --output=li)" = "list.txt" ] || fail "an output FILE name after = is not completed"
[ "$(complete_words -- -da)" = "-dash.txt" ] || fail "after --, a FILE name starting with - is not completed"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
