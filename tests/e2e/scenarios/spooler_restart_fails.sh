# An older driver 1 is installed, and the print spooler does not start again once stopped.
. "$(dirname "$scenario")/older_driver.sh"
sim scenario "$(dirname "$scenario")/spooler_no_start.json"
