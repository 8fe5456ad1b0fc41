# The printer is connected by USB before the installation: the removal step takes its device
# node, and Windows makes the queue only when the printer is plugged in again.
sim plug
