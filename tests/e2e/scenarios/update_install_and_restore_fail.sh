# An older driver 1 with two printers; no driver can be installed from the driver store at all.
. "$(dirname "$scenario")/older_driver.sh"
sim fault InstallPrinterDriverFromPackageW 2147942402 --count 0
