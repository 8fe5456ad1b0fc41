# An older driver 1 with two printers; the spooler refuses every new printer.
. "$(dirname "$scenario")/older_driver.sh"
sim fault AddPrinterW 5 --count 0
