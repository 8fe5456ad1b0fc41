# An older driver 1 with two printers; the driver store refuses the new package (its catalog's
# root is not trusted).
. "$(dirname "$scenario")/older_driver.sh"
sim fault UploadPrinterDriverPackageW 2148204809
