# Sourced inside tools/wine/sandbox: the Wine environment every test run uses.
# Sets WINEPREFIX (a temporary one, removed by wine_settle, when none is given), keeps Wine quiet
# and free of installer dialogs, and starts a server that lives in this namespace.
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/pelmora-wine.XXXXXX)
  pelmora_temp_prefix=$WINEPREFIX
fi
case "$WINEPREFIX" in
  "$HOME/.wine" | "$HOME/.wine/") echo "wine-env: refusing to use $HOME/.wine" >&2; exit 2 ;;
esac
export WINEPREFIX

# Debian's wine command takes the 32-bit loader whenever wine32 is installed, even where the kernel
# cannot run 32-bit programs; there 64-bit programs go to the 64-bit loader directly. The commands
# live in this sandbox's own /dev/shm.
if [ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wine ] &&
  ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  bin=/dev/shm/pelmora-wine64-bin
  if [ ! -x "$bin/wine" ]; then
    mkdir -p "$bin"
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/wine"
    chmod +x "$bin/wine"
    ln -sf wine "$bin/wine-stable"
  fi
  PATH="$bin:$PATH"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;${WINEDLLOVERRIDES:-}"
mkdir -p "$WINEPREFIX"

# A server started here opens files (COM1 included) in this namespace: never join one that a run
# in another namespace left behind. /dev/shm belongs to this sandbox, so a mark there tells that
# the running server was started in it and can be shared by the programs of one sandboxed run.
mark="/dev/shm/pelmora-wineserver-$(printf '%s' "$WINEPREFIX" | md5sum | cut -c1-16)"
if [ ! -e "$mark" ]; then
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  : >"$mark"
fi

# Waits until the programs of this run are gone; in a sandbox of its own, also the server (so the
# registry is saved and nothing is left running) and a temporary prefix.
wine_settle() {
  if [ "${PELMORA_WINE_OWN_SANDBOX:-}" = 1 ]; then
    wineserver -w 2>/dev/null || true
    rm -f "$mark"
  fi
  if [ -n "${pelmora_temp_prefix:-}" ]; then
    wineserver -w 2>/dev/null || true
    rm -rf "$pelmora_temp_prefix"
  fi
}
