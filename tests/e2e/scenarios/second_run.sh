# The same installation already ran once on this machine.
run -pnp -model 3 -lang 1
