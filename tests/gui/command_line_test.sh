#!/bin/sh
# pelmora's command line: --help and --version answer and exit, a bad command line is an error
# with the usage, and without a display the program says so in one line. None of them may start
# the tray program, so each must end by itself, also where a display (offscreen) is available.
set -u
pelmora=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Should the program run after all, it reads a port that does not exist, never the default one.
printf 'DeviceName="%s/no-such-port"\n' "$dir" >"$dir/Pelmora.conf"
export PELMORA_CONFIG="$dir/Pelmora.conf"
failures=0

# check NAME WANT_STATUS ENV... -- ARGS...: runs pelmora for at most 10 s.
check() {
  name=$1
  want=$2
  shift 2
  envs=""
  while [ "$1" != "--" ]; do
    envs="$envs $1"
    shift
  done
  shift
  # shellcheck disable=SC2086
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $envs timeout 10 "$pelmora" "$@" \
    >"$dir/out" 2>"$dir/err"
  status=$?
  if [ "$status" != "$want" ]; then
    echo "$name: status $status, want $want"
    cat "$dir/out" "$dir/err"
    failures=$((failures + 1))
    return 1
  fi
}

expect() {  # expect NAME FILE TEXT: FILE's content is exactly TEXT
  if [ "$(cat "$2")" != "$3" ]; then
    printf '%s: got\n%s\nwant\n%s\n' "$1" "$(cat "$2")" "$3"
    failures=$((failures + 1))
  fi
}

usage='Usage: pelmora [--verbose]
       pelmora --help | --version'

for platform in "" QT_QPA_PLATFORM=offscreen; do
  check "--version $platform" 0 $platform -- --version &&
    expect "--version" "$dir/out" "pelmora (Pelmora) 1.0.3 build 5" &&
    expect "--version stderr" "$dir/err" ""
  if check "--help $platform" 0 $platform -- --verbose --help; then
    head -n 2 "$dir/out" >"$dir/head"
    expect "--help" "$dir/head" "$usage"
    grep -q -- '--version  show the version' "$dir/out" ||
      { echo "--help lacks its options"; failures=$((failures + 1)); }
  fi
  check "--bogus $platform" 2 $platform -- --bogus &&
    expect "--bogus" "$dir/err" "pelmora: unknown option '--bogus'
$usage" && expect "--bogus stdout" "$dir/out" ""
  check "argument $platform" 2 $platform -- --verbose COM1 &&
    expect "argument" "$dir/err" "pelmora: unexpected argument 'COM1'
$usage"
done

# No display: one line and status 1, not Qt's abort (status 134) with its plugin advice.
check "no display" 1 -- &&
  expect "no display" "$dir/err" "pelmora: no display: neither DISPLAY nor WAYLAND_DISPLAY is set; the tray program needs a desktop session (pelmorad reads the scanner without one)"
check "unreachable display" 1 DISPLAY=:8765 -- --verbose &&
  expect "unreachable display" "$dir/err" "pelmora: cannot connect to the display (DISPLAY=:8765); the tray program needs a desktop session (pelmorad reads the scanner without one)"

[ "$failures" -eq 0 ] || exit 1
echo "command line: ok"
