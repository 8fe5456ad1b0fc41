# An older driver 1 with two printers, and a print spooler that is already on its way down and stays
# there.
. "$(dirname "$scenario")/older_driver.sh"
sim service Spooler --state stop_pending --pending-queries never
