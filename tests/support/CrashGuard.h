#pragma once

// Makes a crash fail the run. A fault inside a window procedure may be swallowed or end the
// process with status 0 under Wine, skipping every later test without a word; with the guard,
// a fatal exception prints which test it hit and ends the process with a non-zero status.
void InstallCrashGuard();
