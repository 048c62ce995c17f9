x;_SC "skipped"
abc_SC "taken"


_FI