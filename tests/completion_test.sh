#!/usr/bin/env bash
# The package's bash completion in a real bash, with the bash-completion
# framework and without it: folder names with blanks and quotes complete
# whole, files are not offered for --dest, and options complete.
set -euo pipefail
source_dir=$1
work=$(mktemp -d /tmp/kestrow-completion-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/My Samples" "$work/My Other" "$work/it's here"
touch "$work/My notes.txt"
cd "$work"
failed=0
for framework in /usr/share/bash-completion/bash_completion ""; do
  [ -z "$framework" ] || [ -f "$framework" ] || { echo "skipped: no bash-completion framework"; continue; }
  for case in "--dest|My|My Other,My Samples" "--dest|it|it's here" "--ver|--ver|--verify,--version"; do
    IFS='|' read -r prev word expected <<<"$case"
    got=$(bash -c '[ -z "$1" ] || . "$1"; . "$2"; COMP_WORDS=(kestrow-installer "$3" "$4"); COMP_CWORD=2
                   [ "$3" = "$4" ] && COMP_WORDS=(kestrow-installer "$4") COMP_CWORD=1
                   _kestrow_installer 2>/dev/null; printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd,' \
      sh "$framework" "$source_dir/docs/kestrow-installer.bash-completion" "$prev" "$word")
    [ "$got" = "$expected" ] || { echo "${framework:-plain bash}: $prev $word gave '$got', not '$expected'"; failed=$((failed + 1)); }
  done
done
[ "$failed" -eq 0 ] || exit 1
echo "1 passed, 0 failed"
