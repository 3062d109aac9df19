#!/usr/bin/env bash
# tests/terminal/completion_test.sh PROGRAM SOURCE_DIR: the bash and zsh completions of mimoza,
# asked as a shell asks them, against the built program: the commands, a command's options
# (a "--x=a|b" choice as its two words), directories after --dir, and the commands after help.
# zsh's half is skipped, and said so, where zsh is not installed.
set -u
program=$1
completion=$2/terminal/completion
PATH=$(dirname "$program"):$PATH
export PATH
cd "$(mktemp -d)" || exit 1
mkdir -p somedir
failed=0

# expect SHELL WORDS... = EXPECTED: the completion of the last word, space-separated.
expect() {
  local shell=$1 got
  shift
  local words=() expected
  while [ "$1" != = ]; do words+=("$1"); shift; done
  shift
  expected="$*"
  if [ "$shell" = bash ]; then
    got=$(bash -c 'source "$0"; COMP_WORDS=("${@}"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));
                   _mimoza; echo "${COMPREPLY[*]}"' "$completion/mimoza.bash" "${words[@]}")
  else
    got=$(zsh -f -c 'compadd() { [[ $1 == -a ]] && print -r -- "${(P)2}"; }
                     _files() { print -r -- "files $*"; }
                     words=("$@"); CURRENT=$#; source '"$completion/_mimoza" zsh "${words[@]}")
  fi
  if [ "$got" != "$expected" ]; then
    echo "FAIL $shell [${words[*]}]: got '$got', expected '$expected'"
    failed=1
  fi
}

registered=$(bash -c 'source "$0"; complete -p mimoza' "$completion/mimoza.bash")
[ "$registered" = "complete -F _mimoza mimoza" ] || { echo "FAIL: complete -p mimoza: $registered"; failed=1; }
commands=$("$program" --help | sed -n 's/^       mimoza \([a-z][a-z]*\).*/\1/p' | tr '\n' ' ')
commands=${commands% }
expect bash mimoza "" = "$commands"
expect bash mimoza ch = check
expect bash mimoza check --f = --format=text --format=json
expect bash mimoza --no = --no-history
expect bash mimoza --dir some = somedir
expect bash mimoza help "" = "$commands"
if command -v zsh >/dev/null; then
  expect zsh mimoza "" = "$commands"
  expect zsh mimoza check -- = --dir --format=text --format=json --severity=error --severity=warning --severity=note
  expect zsh mimoza --dir "" = "files -/"
  expect zsh mimoza help "" = "$commands"
else
  echo "zsh is not installed: its completion is not tried"
fi
exit $failed
