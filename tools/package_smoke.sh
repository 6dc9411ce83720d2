#!/usr/bin/env bash
# Installs the Debian package built in build/release and checks the installed programs start and
# stop. Runs as root (CI) or through sudo. Never opens a real serial port: the settings name a
# pseudo-terminal that this script does not even create, so the reader only reports it missing.
set -euo pipefail
deb=$(ls build/release/pelmora_*.deb | head -n 1)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y -qq "./$deb" >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
printf 'DeviceName="%s/no-such-port"\nSerialDevice=0\n' "$work" >"$work/Pelmora.conf"
export PELMORA_CONFIG="$work/Pelmora.conf"

fail() { echo "package smoke test: $*" >&2; exit 1; }

version=$(/usr/bin/pelmorad --version)
echo "$version" | grep -q "1.0.3" || fail "unexpected pelmorad --version: $version"
/usr/bin/pelmora-vscan --help >/dev/null || fail "pelmora-vscan --help failed"
for page in pelmora pelmorad pelmora-vscan; do
  [ -f /usr/share/man/man1/$page.1.gz ] || [ -f /usr/share/man/man1/$page.1 ] || fail "no man page $page"
done
[ -f /usr/share/applications/pelmora.desktop ] || fail "no desktop entry"
[ -f /usr/lib/systemd/user/pelmorad.service ] || fail "no systemd user unit"

# pelmorad: starts, reports the missing port, stops on SIGTERM.
/usr/bin/pelmorad --sink stdout --verbose 2>"$work/pelmorad.err" &
pid=$!; pids+=("$pid")
sleep 1
kill -0 "$pid" || fail "pelmorad ended early: $(cat "$work/pelmorad.err")"
kill -TERM "$pid"
wait "$pid" || fail "pelmorad exited with $? on SIGTERM"
grep -q "no-such-port" "$work/pelmorad.err" || fail "pelmorad did not report the missing port"

# pelmora: the tray program starts on a private X server and ends on request.
if [ -x /usr/bin/pelmora ]; then
  xvfb-run -a -s "-nolisten tcp" /usr/bin/pelmora &
  pid=$!; pids+=("$pid")
  sleep 3
  kill -0 "$pid" || fail "pelmora ended early"
  prog=$(pgrep -P "$pid" -x Xvfb >/dev/null; pgrep -f -n '^/usr/bin/pelmora$' || true)
  [ -n "$prog" ] || fail "pelmora is not running"
  kill -TERM "$prog"
  wait "$pid" || fail "pelmora exited with $? on SIGTERM"
fi
echo "package smoke test: passed ($deb)"
