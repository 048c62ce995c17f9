; station.sld: the script of a production line's station (/etc/tamrin/station.sld), which
; tamrin@.service runs once for each unit plugged in. It runs in /etc/tamrin/, where
; LoaderDefault.ini (prompts, loader command) and the firmware file are.
;
; Ask the unit who it is: the answer goes into each upload's record as unit_answer.
_QC "VER"
; Into the loader mode, or stop: the record says why.
_TC "LOADR^M"
; The file, its load address (also measured: size, checksum, SHA-256) and version.
_LF firmware.bin
_LA 80000
_LV V1.0
; The header, the data, and the unit's prompt that confirms it.
_LD
