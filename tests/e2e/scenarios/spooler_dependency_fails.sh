# An older driver 1 is installed, and the HTTP service the print spooler depends on has been stopped
# and disabled: once stopped, the spooler cannot start again.
. "$(dirname "$scenario")/older_driver.sh"
sim scenario "$(dirname "$scenario")/spooler_dependency_disabled.json"
