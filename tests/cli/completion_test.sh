#!/bin/bash
# The bash completion of zpk3x-cli, with the two helpers of the bash-completion
# package it uses reduced to what they do for these words.
set -u
_init_completion() {
  words=("${COMP_WORDS[@]}")
  cword=$COMP_CWORD
  cur=${words[cword]}
  prev=${words[cword - 1]}
}
_filedir() { :; }
complete() { :; }
shopt -s extglob
# shellcheck source=/dev/null
source "$1"

fehler=0
angeboten() {  # WORDS... -- EXPECTED: EXPECTED is among the offers for WORDS
  local erwartet=${*: -1}
  COMP_WORDS=(zpk3x-cli "${@:1:$#-2}")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _zpk3x_cli
  if [[ " ${COMPREPLY[*]} " != *" $erwartet "* ]]; then
    echo "FAIL: '${COMP_WORDS[*]}' offers '${COMPREPLY[*]}', not $erwartet"
    fehler=1
  fi
}
angeboten write 3 --no -- --no-verify
angeboten write 3 --ver -- --verify
angeboten read all --js -- --json
angeboten write 3 -i p.json --po -- --port
angeboten monitor --tr -- --trace
angeboten id --ba -- --baud
angeboten --por -- --port
exit $fehler
