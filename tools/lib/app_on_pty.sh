# Sourced by the screenshot scenarios, which run in a private mount namespace on a private X
# server: starts the real `pelmora` on a virtual scanner named in a temporary settings file.
#   start_app_on_pty BUILD_DIR TMP_DIR [CODE...]
# Sets $app and $scanner to the PIDs of the program and of the virtual scanner, which sends the
# CODEs once the program has opened its port and keeps the port until it is ended.
start_app_on_pty() {
  local build=$1 tmp=$2
  shift 2
  # Every /dev/ttyS* is /dev/null in here: not even a wrong setting can reach a real port.
  local t
  for t in /dev/ttyS*; do
    [ -e "$t" ] || continue
    mount --bind /dev/null "$t" || { echo "start_app_on_pty: cannot mask $t" >&2; return 1; }
  done
  "$build/tools/vscan/pelmora-vscan" --link "$tmp/scanner" --wait-open 30000 --settle 1000 \
    --linger 600000 "$@" >/dev/null 2>&1 </dev/null &
  scanner=$!
  local _
  for _ in $(seq 100); do
    [ -L "$tmp/scanner" ] && break
    sleep 0.1
  done
  if [ ! -L "$tmp/scanner" ]; then
    echo "start_app_on_pty: no virtual scanner" >&2
    end_started
    return 1
  fi
  printf 'DeviceName="%s"\n' "$tmp/scanner" >"$tmp/pelmora.conf"
  PELMORA_CONFIG="$tmp/pelmora.conf" QT_QPA_PLATFORM=xcb "$build/app/pelmora" &
  app=$!
}

# Ends the programs this shell started that still run: a number that ended is free for another
# process to take, so only running jobs are signalled.
end_started() {
  local running
  running=$(jobs -pr)
  # shellcheck disable=SC2086 # one word per job
  [ -z "$running" ] || kill $running 2>/dev/null
  wait
}
