// orvex's standard streams and the terminal they may be, as each platform
// gives them (posix/Console.cpp, win32/Console.cpp). Streams are named by
// their C runtime descriptors (fileno(stdout)) on both platforms.
#pragma once

#include <cstddef>

// Standard output and error carry bytes as they are, on Windows too (no
// CR added before LF), so that output is the same on both platforms.
void PrepareStandardStreams();

// A reader that goes away must end the output, never the process: on Linux
// SIGPIPE is ignored, so a write fails with EPIPE instead; on Windows such a
// write fails by itself (ERROR_NO_DATA, ERROR_BROKEN_PIPE).
void KeepRunningWhenReaderGoes();

bool IsTerminal(int fd);

// Readies the terminal fd for a display drawn in place with VT sequences
// (cursor moves, line clears). False when it cannot draw there: the output
// is then plain lines.
bool StartTerminalDisplay(int fd);

// The terminal's columns and rows; false when it does not tell them.
bool TerminalSize(int fd, size_t* pnColumns, size_t* pnRows);

// Writes all n bytes, going on after an interrupted write. False when the
// reader has gone (a closed pipe) or the output failed otherwise.
bool WriteAllTo(int fd, const char* p, size_t n);
