# The spooler does not come back after its restart, in a run nobody sees (SYSTEM in session 0).
. "$(dirname "$scenario")/spooler_restart_fails.sh"
sim set /process/window_station_visible false
