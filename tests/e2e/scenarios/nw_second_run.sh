# The same network installation already ran once on this machine.
run -nw -model 3 -ipv4 192.168.1.20 -lang 1 -autoclose
