#!/bin/sh
# The tray program tells why its port is not open on standard error with --verbose, and only then.
set -eu
pelmora=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'DeviceName="%s/no-such-port"\n' "$dir" >"$dir/Pelmora.conf"
want="pelmora: cannot open $dir/no-such-port: no such device"

run() {
  tries=$1
  shift
  PELMORA_CONFIG=$dir/Pelmora.conf "$pelmora" "$@" 2>"$dir/err" &
  pid=$!
  i=0
  while [ $i -lt "$tries" ] && ! grep -qF "$want" "$dir/err"; do
    sleep 0.1
    i=$((i + 1))
  done
  kill "$pid"
  wait "$pid" || true
}

run 100 --verbose
grep -qF "$want" "$dir/err" || { echo "--verbose did not say why:"; cat "$dir/err"; exit 1; }
run 15
if grep -qF "cannot open" "$dir/err"; then
  echo "quiet without --verbose, but said:"
  cat "$dir/err"
  exit 1
fi
echo "verbose: ok"
