; Demo script: the unit has been found on its serial port at start-up.
_FI
