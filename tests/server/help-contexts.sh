#!/usr/bin/env bash
# The compiled help file's context map: every context number the windows and the result codes
# open (2 to 9, 13 to 33) leads to its topic, and that topic is in the file with its heading.
#   help-contexts.sh <zandrel.chm>
set -uo pipefail
source "$(dirname "$0")/../prerequisite.sh"
require chmcmd chmls  # fp-utils: without it the file is not built either
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# chmls writes the map beside the file it reads, named after it.
cp "$1" "$work/zandrel.chm" || exit 1
cd "$work"
chm=$work/zandrel.chm
chmls extractalias "$chm" >/dev/null 2>&1
map=$(ls ./*.ali 2>/dev/null | head -1)
[[ -n $map ]] || { echo "no context map in $chm"; exit 1; }
listing=$(chmls -p -n list "$chm" 2>/dev/null)

expected=(2:setup_general 3:setup_transfer 4:setup_logging 5:setup_modem 6:phone_entry
          7:file_prompt 8:send_as 9:receiver_name)
for result in $(seq 1 21); do expected+=("$((result + 12)):$(printf 'result_%02d' "$result")"); done
failed=0 passed=0
fail() { echo "$*"; failed=$((failed + 1)); }
for entry in "${expected[@]}"; do
  context=${entry%%:*} topic=/${entry#*:}.htm
  found=$(grep -E "^helpid$context=" "$map" | cut -d= -f2)
  [[ $found == "$topic" ]] || { fail "context $context: map gives '${found}', want '$topic'"; continue; }
  grep -qxF "$topic" <<<"$listing" || { fail "context $context: $topic is not in the file"; continue; }
  chmls extract "$chm" "$topic" page.htm >/dev/null 2>&1
  grep -q '<h1>[^<]' page.htm || { fail "context $context: $topic has no heading"; continue; }
  passed=$((passed + 1))
done
count=$(grep -c '^helpid' "$map")
[[ $count == "${#expected[@]}" ]] || fail "the map holds $count contexts, want ${#expected[@]}"
echo "$passed passed, $failed failed"
((failed == 0))
