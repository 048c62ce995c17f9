; every command once
_WP
_SC "VER^M"
_SR "OTPM? 1"
_ST "RESET"
_TC "LOADR^M"
_PC "Continue?"
_DY 500
_LC "loader"
_LP 3
_LT 10
_QC "VER^M"
_AG "2" _SC "A"
_AL "3" _SC "B"
_IG "2.1" _DM "newer"
_IL "2.1" _DM "older"
_CE "OK\r\n" _FI
_CS "ERR" _DO _FI
_CN "#" _DC _FI
_DM "Upload done^M"
_DQ "Proceed?"
_DO _SC "yes"
_DC _SC "no"
_LF firmware.bin
_LA 80000
_LV DATE
_LD
_FI
