; Demo script. The unit has been found on its serial port at start-up.
; A command runs to the end of its line, so comments stand on lines of their own.
;
; Wait for the unit's prompt and ask its version.
_WP
_QC "VER"
; Units of version 2 or later get a command first.
_AG "2" _SC "OTPM? 1"
; Put the unit into its loader mode.
_TC "LOADR^M"
; Upload firmware.bin to address 80000 as version V2.1.
_LF firmware.bin
_LA 80000
_LV V2.1
_LD
_FI
