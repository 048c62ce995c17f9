_WP_SC "A"
  text _QC "VER"
; _SC "no"
	_FI ; comment is part
_SC "after end"
