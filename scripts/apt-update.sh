#!/usr/bin/env bash
# apt-get update that survives a mirror in the middle of a sync: it tries three times, then goes
# on with the package lists apt has (a warning, not a failure). What is really missing shows up
# at the install or source download that needs it, with apt's own message.
set -uo pipefail
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
for attempt in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update -qq && exit 0
    [ "$attempt" = 3 ] || sleep 15
done
echo "apt-update: apt-get update reported errors three times; going on with the lists apt has" >&2
exit 0
