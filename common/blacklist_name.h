// Which files are weak-key lists: the one rule that Setup (what it copies)
// and the library (what it reads) share. Portable: no Windows header.
#pragma once

// True for a name whose first nine characters read "BLACKLIST" in any
// ASCII letter case ("BLACKLIST" itself and every longer name beginning
// so). ASCII folding gives the same answer in every code page and locale,
// so both deliverables always agree on the same folder.
bool IsBlacklistFileName(const char *name);
