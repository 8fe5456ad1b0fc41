# The older driver of older_driver.sh, its network printer with two jobs queued that its device does
# not take: deleting that printer only marks it for deletion, so the old driver stays in use.
. "$(dirname "$scenario")/older_driver.sh"
sim printer "Ausweisdrucker Lager" --jobs 2
