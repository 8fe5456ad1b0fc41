# An older driver 1, and a print spooler that takes its time: each pending state lasts 120 status
# queries (30 s at the installer's 250 ms between queries), so a restart takes about 60 s.
. "$(dirname "$scenario")/older_driver.sh"
sim service Spooler --pending-queries 120
