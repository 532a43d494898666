#!/usr/bin/env bash
# The tests beside another program that has COM1 and COM2 open: lock files of the machine's ttyS0 and
# ttyS1 in the serial lock folder, naming a live process. No test reaches a port of the machine, so the
# tests pass beside them and leave them where they are; the serial toolkit takes a lock file older than
# 30 s for stale and removes it when it opens the device.
#
#   held-locks.sh take STATE    takes the locks that are free, held while the caller (tools/test-beside.sh) runs
#   held-locks.sh check STATE   fails unless every lock taken is still there, then lets them go
#
# A lock that is there already (a program that really holds the port) is left alone.
set -euo pipefail
mode=$1
state=$2

# The first folder of the serial toolkit's list that may be written, as tests/support/SerialLocks.cpp.
lock_folder() {
  local folder
  for folder in /var/lock /etc/locks /var/spool/locks /var/spool/uucp /tmp /var/tmp /var/lock/lockdev /run/lock; do
    if [ -d "$folder" ] && [ -w "$folder" ]; then echo "$folder"; return 0; fi
  done
  return 1
}

# Removes the locks that still name the holder, and ends the holder.
release() {
  local holder=$1 lock
  shift
  for lock in "$@"; do
    if [ "$(head -n 1 "$lock" 2>/dev/null)" = "$holder" ]; then rm -f "$lock"; fi
  done
  kill "$holder" 2>/dev/null || true
}

case $mode in
take)
  folder=$(lock_folder) || { echo "held-locks: no lock folder may be written: nothing held"; : > "$state"; exit 0; }
  run=$PPID
  sleep 86400 </dev/null >/dev/null 2>&1 &
  holder=$!
  taken=()
  for device in ttyS0 ttyS1; do
    lock=$folder/LCK..$device
    # As the toolkit writes a lock: process id, program name, host name, one a line.
    if (set -o noclobber; printf '%s\nsleep\n%s\n' "$holder" "$(hostname)" > "$lock") 2>/dev/null; then
      taken+=("$lock")
      echo "held-locks: $lock held by process $holder"
    else
      echo "held-locks: $lock is there already: left alone"
    fi
  done
  printf '%s\n' "$holder" "${taken[@]}" > "$state"
  # A run broken off before the check leaves no lock behind: they go when the run or the holder ends.
  (while kill -0 "$run" 2>/dev/null && kill -0 "$holder" 2>/dev/null; do sleep 2; done
   release "$holder" "${taken[@]}") </dev/null >/dev/null 2>&1 &
  ;;
check)
  [ -s "$state" ] || exit 0
  mapfile -t held < "$state"
  holder=${held[0]}
  status=0
  for lock in "${held[@]:1}"; do
    if [ "$(head -n 1 "$lock" 2>/dev/null)" = "$holder" ]; then
      echo "held-locks: $lock is still there"
    else
      echo "held-locks: $lock is gone: a test opened the machine's port as if its holder were gone" >&2
      status=1
    fi
  done
  release "$holder" "${held[@]:1}"
  rm -f "$state"
  exit $status
  ;;
*)
  echo "usage: held-locks.sh take|check STATE" >&2
  exit 2
  ;;
esac
