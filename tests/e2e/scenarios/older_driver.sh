# An older driver 1 (1.5.26.1 of 01/15/2022) with two printers, one on USB001 and one on a Standard
# TCP/IP port, and its package in the driver store.
here=$(dirname "$scenario")
store="$drive/Windows/System32/DriverStore/FileRepository/txr4103zkw.inf_amd64_5d0c1e2f3a4b5c6d"
mkdir -p "$store"
printf '[Version]\r\nProvider="BREVANTO"\r\nDriverVer=01/15/2022,1.5.26.1\r\n[Manufacturer]\r\n"BREVANTO"=BREVANTO,NTamd64\r\n[BREVANTO.NTamd64]\r\n"BREVANTO TXR4103 ZKW"=INSTALL_TXR4103ZKW,USBPRINT\\BREVANTOTXR4103733D\r\n' >"$store/TXR4103ZKW.inf"
sim scenario "$here/older_driver.json"
