#!/bin/sh
# The tray program tells why its port is not open on standard error with --verbose, and only then.
set -eu
pelmora=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'DeviceName="%s/no-such-port"\n' "$dir" >"$dir/Pelmora.conf"
want="pelmora: cannot open $dir/no-such-port: no such device"

# run ERRFILE TENTHS [OPTION...]: runs pelmora for up to TENTHS tenths of a second, or until it
# has said why; fails when it ended by itself. Each run has its own file: the shell opens it in
# the child, so a file shared with an earlier run could still show that run's words.
run() {
  err=$1
  tries=$2
  shift 2
  PELMORA_CONFIG=$dir/Pelmora.conf "$pelmora" "$@" 2>"$err" &
  pid=$!
  i=0
  while [ $i -lt "$tries" ] && ! grep -qF "$want" "$err" 2>/dev/null; do
    sleep 0.1
    i=$((i + 1))
  done
  if ! kill "$pid" 2>/dev/null; then
    echo "pelmora $* ended by itself:"
    cat "$err"
    exit 1
  fi
  wait "$pid" || true
}

run "$dir/verbose" 100 --verbose
grep -qF "$want" "$dir/verbose" || { echo "--verbose did not say why:"; cat "$dir/verbose"; exit 1; }
run "$dir/quiet" 15
if grep -qF "cannot open" "$dir/quiet"; then
  echo "quiet without --verbose, but said:"
  cat "$dir/quiet"
  exit 1
fi
echo "verbose: ok"
