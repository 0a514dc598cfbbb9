#!/bin/sh
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#
# Runs a Windows executable under wine with wine's state in PREFIX, so that a
# build directory carries everything its tests need and nothing touches the
# user's own ~/.wine.
#
# Two things are done once, under a lock so that tests started together wait
# for each other, and with wine's own messages kept out of the tests' output:
# - The first run creates the prefix (that takes some seconds).
# - The wine server and wine's background services are started apart from the
#   caller's standard streams. Otherwise the services, which the first program
#   of a session starts and which live as long as the server, inherit that
#   program's output pipes, and a caller that reads them to the end waits for
#   the server to stop. The server is kept for a while after its last program
#   (-p), so that a test run reuses one server and its services.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.mthc-ready" ]; then
    # Neither .NET nor the HTML engine is needed: skip offering to install them.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$prefix.log" 2>&1 </dev/null 9>&-
    # Let the server write the new prefix out and stop before first use.
    wineserver -w >>"$prefix.log" 2>&1 </dev/null 9>&-
    touch "$prefix/.mthc-ready"
  fi
  # Fails (harmlessly) when a server already runs for this prefix. The lock's
  # descriptor is not passed on: whoever holds it open holds the lock.
  if wineserver -p30 >>"$prefix.log" 2>&1 </dev/null 9>&-; then
    wine cmd /c exit >>"$prefix.log" 2>&1 </dev/null 9>&-
  fi
) 9>"$prefix.lock"
exec wine "$@"
