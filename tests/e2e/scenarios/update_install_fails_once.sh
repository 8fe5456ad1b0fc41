# An older driver 1 with two printers; the new driver cannot be installed from its staged package,
# while the old one can be put back from its own.
. "$(dirname "$scenario")/older_driver.sh"
sim fault InstallPrinterDriverFromPackageW 2147942402 --call 1 --count 1
