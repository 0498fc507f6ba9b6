// One ciflash at a time on the reader: a lock taken before the first port access and held
// until the process ends, however it ends (the system drops it then).
#pragma once

// Takes the reader's lock. Returns true once it is held; false after one or two lines on
// standard error when another ciflash holds it (with its process id when the system names it) or
// when the lock cannot be taken at all.
bool reader_lock_take();
