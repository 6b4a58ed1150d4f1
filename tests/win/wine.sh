#!/bin/sh
# Runs Windows programs under wine for ctest and gtest discovery (the MinGW
# toolchains' CMAKE_CROSSCOMPILING_EMULATOR).
#   wine.sh PROGRAM.exe [ARGS...]  run it; its exit status is passed through
#   wine.sh --start                start wine for this prefix (ctest fixture)
#   wine.sh --stop                 stop it; the registry is saved to the prefix
# WINEPREFIX must be set (the toolchain sets <build>/wineprefix).
# WINE_BITS: 64 (the default) runs x86_64 programs with wine64, 32 runs i686
# programs with the 32-bit loader of wine32 (in a prefix made by either).
#
# Wine's background processes (services, explorer) inherit the standard
# output of the program that starts them, and ctest waits for the end of
# that output: ~3 s for every test. So wine is always started first, detached,
# with its output on /dev/null; then a test takes well under a second.
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEPREFIX
# Quiet unless asked, but for the loader's own errors.
export WINEDEBUG="${WINEDEBUG--all,err+virtual,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=}"  # no Mono/Gecko prompt
# The loaders themselves, never /usr/bin/wine: that wrapper comes only with
# the wine package, which the tests do not need.
W=/usr/lib/wine
case "${WINE_BITS:-64}" in
  64) loader=$W/wine64 ;;
  32) loader=$W/wine ;;
  *) echo "WINE_BITS must be 32 or 64" >&2; exit 2 ;;
esac
[ -x "$loader" ] || { echo "no $loader: install wine${WINE_BITS:-64} (scripts/install-deps.sh)" >&2; exit 2; }
# Without address-space randomisation. With it, now and then a Windows
# process fails at start-up because the range wine reserves for its shared
# user data is already taken ("failed to map the shared user data:
# c0000018"): a test program ends at once, or
# a child process the test starts never runs. Processes wine starts inherit
# the setting.
norandom() { setarch "$(uname -m)" -R "$@"; }

start_wine() {
  # The server needs the directory; wine fills it on first use.
  mkdir -p "$WINEPREFIX"
  (
    # One starter at a time: parallel tests share the server and the prefix.
    flock 9
    # -p60: the server outlives its last program by 60 s only, so an
    # interrupted ctest leaves nothing behind for long. Exits 2 when a server
    # for this prefix is already up; then wine's services are up as well.
    # (9>&-: wine's long-lived processes must not inherit the lock.)
    if norandom "$W/wineserver" -p60 </dev/null >/dev/null 2>&1 9>&-; then
      norandom "$loader" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
  ) 9>"$WINEPREFIX.lock"
}

case "${1-}" in
  --start)
    start_wine ;;
  --stop)
    "$W/wineserver" -k </dev/null >/dev/null 2>&1 || true ;;
  *)
    start_wine
    exec setarch "$(uname -m)" -R "$loader" "$@" ;;
esac
