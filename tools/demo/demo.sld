; Demo script. The unit has been found on its serial port at start-up.
; A command runs to the end of its line, so comments stand on lines of their own.
; Wait for the unit's prompt, ask its version, send a command to units of version 2 or
; later, and make sure the unit is in its loader mode.
_WP
_QC "VER"
_AG "2" _SC "OTPM? 1"
_TC "^M"
_FI
