#!/usr/bin/env bash
# tests/docs/examples_test.sh PROGRAM SOURCE_DIR: runs the examples of README.md, docs/mimoza.1
# and docs/mimoza-dictionary.5 against the built program, so that the documents cannot drift
# from what it does. It reads the code blocks (fenced or indented in Markdown, .EX to .EE in the
# manual pages, their escapes undone) and finds there:
#   key KEY  matches LINE     with the part KEY matches in brackets: mimoza explain must find
#   key KEY  no match LINE    KEY alone in a dictionary matching there, or must find nothing;
#   ==> /tmp/X/FILE <==       the lines after it, up to the end of the block, are that file
#                             (written in code page 932 with CR LF);
#   $ COMMAND                 run with bash (a line ending in "\" or "|" goes on), its standard
#                             output compared with the lines after it up to the next "$ " or
#                             the end of the block; a line "..." there stands for any lines.
# Each document gets a sandbox of its own: "/tmp/" in commands names the sandbox, and is given
# back in the output; backups' time stamps compare by their shape only. Commands run in
# SOURCE_DIR with PROGRAM first on the PATH, an English UTF-8 locale and home and state
# directories inside the sandbox.
set -u
program=$(realpath "$1")
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

fail() {
  echo "FAIL $*"
  failed=$((failed + 1))
}

# code_lines FILE: the lines of its code blocks, each block ended by a line "@@END".
code_lines() {
  case "$1" in
    *.md)
      # Fenced blocks without the indent of their fence (in a list item); indented ones (after
      # a blank line) without their four spaces, blank lines inside them kept.
      awk '
        /^ *```/ { if (fenced) print "@@END"; fenced = !fenced; indent = index($0, "`"); next }
        fenced { print substr($0, indent); next }
        /^    / && (inblock || blank) { inblock = 1; for (; held > 0; held--) print "";
                                         print substr($0, 5); blank = 0; next }
        /^$/ { blank = 1; if (inblock) held++; next }
        { if (inblock) print "@@END"; inblock = 0; held = 0; blank = 0 }
        END { if (inblock) print "@@END" }' "$1"
      ;;
    *)
      # The escapes the pages use inside .EX blocks; a backslash is held aside while the
      # others are undone.
      awk '/^\.EX/ { inblock = 1; next } /^\.EE/ { print "@@END"; inblock = 0; next }
           inblock && !/^\./' "$1" |
        sed -e 's/\\e/\x01/g' -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\(dq/"/g' \
            -e 's/\\(ha/^/g' -e 's/\\(ti/~/g' -e 's/\\&//g' -e 's/\\://g' \
            -e 's/\\f[BIRP]//g' -e 's/\x01/\\/g'
      ;;
  esac
}

# check_key DOC KEY VERB LINE: the explanation of LINE (brackets removed) on a dictionary of KEY
# alone says what the document says.
check_key() {
  local doc=$1 key=$2 verb=$3 shown=$4 subject=$4 expected got
  if [ "$verb" = matches ]; then
    subject=$(printf '%s' "${shown/\[/}" | sed 's/\(.*\)\]/\1/')
    expected="  Dictionary.txt:1  key $key  matches $shown"
  else
    expected="  no key matches"
  fi
  mkdir -p "$work/keys"
  printf '<KEY>%s</KEY>\r\n<ANS>x</ANS>\r\n' "$key" | iconv -f UTF-8 -t CP932 \
    >"$work/keys/Dictionary.txt" || { fail "$doc: key $key cannot be written in code page 932"; return; }
  got=$(LC_ALL=C.UTF-8 "$program" explain --dir "$work/keys" -- "$subject" 2>&1)
  if grep -qxF -- "$expected" <<<"$got"; then
    passed=$((passed + 1))
  else
    fail "$doc: key $key $verb $shown"
    sed 's/^/    /' <<<"$got"
  fi
}

# compare DOC COMMAND EXPECTED GOT: GOT as EXPECTED has it, a "..." line standing for any lines.
compare() {
  local doc=$1 command=$2 expected=$3 got=$4 head tail
  if grep -qx '\.\.\.' <<<"$expected"; then
    head=$(sed '/^\.\.\.$/,$d' <<<"$expected")
    tail=$(sed '1,/^\.\.\.$/d' <<<"$expected")
    [ "$(head -n "$(grep -c '' <<<"$head")" <<<"$got")" = "$head" ] &&
      [ "$(tail -n "$(grep -c '' <<<"$tail")" <<<"$got")" = "$tail" ] && { passed=$((passed + 1)); return; }
  elif [ "$got" = "$expected" ]; then
    passed=$((passed + 1))
    return
  fi
  fail "$doc: \$ $command"
  diff <(echo "$expected") <(echo "$got") | sed 's/^/    /'
}

# run_document FILE KEYS TRANSCRIPTS: every example of one document, in order, in a fresh
# sandbox; it must hold at least KEYS key examples and TRANSCRIPTS transcripts.
run_document() {
  local file=$1 doc sandbox line target="" command="" running=0 continued=0
  local -a output=()
  local keys=0 transcripts=0 stamp='s/-[0-9]\{8\}-[0-9]\{6\}-[0-9]\{3\}/-YYYYMMDD-HHMMSS-NNN/g'
  doc=$(basename "$file")
  sandbox="$work/$doc"
  mkdir -p "$sandbox/home"

  # finish: ends the transcript being read, running it.
  finish() {
    [ "$running" -eq 1 ] || return 0
    local got
    got=$(cd "$source_dir" && env -i PATH="$(dirname "$program"):/usr/bin:/bin" LC_ALL=C.UTF-8 \
      HOME="$sandbox/home" XDG_DATA_HOME="$sandbox/home/data" \
      XDG_STATE_HOME="$sandbox/home/state" bash -c "${command//\/tmp\//$sandbox/}" </dev/null)
    got=$(sed -e "s|$sandbox/|/tmp/|g" -e "$stamp" <<<"$got")
    compare "$doc" "$command" "$(printf '%s\n' "${output[@]}" | sed "$stamp")" "$got"
    transcripts=$((transcripts + 1))
    running=0
  }

  while IFS= read -r line; do
    if [ "$line" = "@@END" ]; then
      finish
      target=""
      continue
    fi
    if [ -n "$target" ]; then
      printf '%s\r\n' "$line" | iconv -f UTF-8 -t CP932 >>"$target"
      continue
    fi
    if [[ $line =~ ^==\>\ /tmp/(.+)\ \<==$ ]]; then
      target="$sandbox/${BASH_REMATCH[1]}"
      mkdir -p "$(dirname "$target")"
      : >"$target"
      continue
    fi
    if [[ $line =~ ^key\ (.*[^ ])\ \ +(matches|no\ match)\ +(.*[^ ])\ *$ ]]; then
      check_key "$doc" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}"
      keys=$((keys + 1))
      continue
    fi
    if [ "$continued" -eq 1 ]; then
      command+=$'\n'"$line"
    elif [[ $line == '$ '* ]]; then
      finish
      command=${line#\$ }
      output=()
      running=1
    elif [ "$running" -eq 1 ]; then
      output+=("$line")
    fi
    continued=0
    [[ $running -eq 1 && ${#output[@]} -eq 0 && ( $line == *"\\" || $line == *'|' ) ]] && continued=1
  done < <(code_lines "$file")
  finish
  echo "$doc: $keys key examples, $transcripts transcripts"
  # A document that lost its examples to a change of form would otherwise pass unseen.
  [ "$keys" -ge "$2" ] || fail "$doc: only $keys key examples, fewer than $2"
  [ "$transcripts" -ge "$3" ] || fail "$doc: only $transcripts transcripts, fewer than $3"
}

run_document "$source_dir/README.md" 5 5
run_document "$source_dir/docs/mimoza.1" 0 4
run_document "$source_dir/docs/mimoza-dictionary.5" 50 1
echo "docs: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
