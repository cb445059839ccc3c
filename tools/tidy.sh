#!/bin/sh
# clang-tidy on one file with the compile commands in DIR, for make lint's
# parallel runs: the file's findings printed in one piece, without clang's
# count of the warnings it did not show ("N warnings generated.").
#   tidy.sh DIR FILE
out=$(clang-tidy -p "$1" --quiet "$2" 2>&1)
status=$?
printf '%s\n' "$out" | grep -v '^[0-9]* warnings\{0,1\} generated\.$' | grep -v '^$'
exit $status
