# No driver 1 installed, 40 copies of its package left in the driver store, and a print spooler
# that never stops once asked to.
sim add-package TXR4103ZKW.inf --copies 40
sim service Spooler --pending-queries never
