; first.sld: a first Tamrin script. It asks the unit its version, puts the unit into its
; loader mode and uploads firmware.bin.
;
; Put it beside LoaderDefault.ini and the file to upload, start Tamrin in that folder and
; press the script button, or name it on settings line 6 for an automatic run.
; On each line, what comes before the first underscore or semicolon is skipped: a semicolon
; first makes a comment line, an underscore first starts a command that runs to the end of
; its line. So comments stand on lines of their own.
;
; Wait for the unit's prompt.
_WP
; Ask the unit its version. The answer (what came before the prompt, line ends removed) is
; kept for the comparisons and version tests that follow.
_QC "VER"
; Show the answer's check: the tail after _CE runs when the answer is exactly 2.08, and the
; one after _CN when the answer does not hold 2.08 at all.
_CE "2.08" _DM "The unit answered version 2.08."
_CN "2.08" _DM "The unit did not answer version 2.08."
; Put the unit into its loader mode: send LOADR and a carriage return (^M), then make sure
; the loader prompt answers. The script stops here if the unit does not get there.
_TC "LOADR^M"
; The file to upload, taken from the current folder.
_LF firmware.bin
; The load address the unit stores the file at. _LA also measures the file's size and
; checksum for the header.
_LA 80000
; The version recorded with the file (DATE gives the file's date instead).
_LV V1.0
; Upload: the header line (keyword, address, size, checksum, version), a pause, the file in
; 2000-byte blocks, then a wait for the loader prompt that confirms it.
_LD
; The end of the script.
_FI
