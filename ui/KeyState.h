#pragma once
// The lock keys' state for the status bar's CAP, NUM and SCRL indicators:
// read from the X server where the application runs on one, else all off.
struct SKeyLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

SKeyLocks ReadKeyLocks();
