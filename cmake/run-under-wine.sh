#!/bin/sh
# Runs a Windows program of the cross build under Wine, quietly and in the build's own prefix:
#   run-under-wine.sh PREFIX PROGRAM [ARGUMENT...]
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
# No Mono and no Gecko: creating the prefix never waits for them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# One server serves the prefix until 10 seconds after its last program has ended. Left to
# itself, Debian's Wine starts a server with a program that finds none and shuts it down as soon
# as no program is left; a program that starts during that shutdown loses its connection
# ("recvmsg: Connection reset by peer"), as tests run side by side by CTest now and then do.
# A new server's first program also starts Wine's background processes, which inherit that
# program's open files and hold them for as long as the server lives (a test's output pipe would
# never end); so a program with none of ours open runs first. The lock keeps programs started
# side by side from both doing it. wineserver exits with 2 when the prefix's server is running.
(
  flock 9
  if wineserver -p10 </dev/null >/dev/null 2>&1 9>&-; then
    wine wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
