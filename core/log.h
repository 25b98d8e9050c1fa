// The program's one log file, Log.txt in the current folder.
//
// Every writer takes UTF-8 text, holds one plain mutex for the whole call and
// does nothing at all while the log is closed. Ordinary lines are flushed once
// 4096 bytes have built up since the last flush; "==> " lines reach the disk
// at once.
#pragma once

#include <string_view>

// text + "\n"; flushed once 4096 bytes have built up since the last flush.
void gf_logLine(std::string_view text);
// ten blanks + text + "\n"; same 4096-byte rule as gf_logLine.
void gf_logContinuation(std::string_view text);
// "==> " + text + "\n", flushed at once: errors and warnings.
void gf_logError(std::string_view text);
// text + "\n", flushed at once.
void gf_logLineFlush(std::string_view text);
// As gf_logLine, but swallows every exception (for destructors and catch blocks).
void gf_logNoThrow(std::string_view text) noexcept;
// Flushes the log if it is open; restarts the byte count.
void gf_flushLog();
// Flushes and closes the log; later writes are no-ops until the next gf_openLog.
void gf_closeLog();
// Keeps the previous Log.txt as Log0.txt, starts Log.txt afresh and writes its
// first line. Throws std::runtime_error "Failed to write file Log.txt" when the
// file cannot be created.
void gf_openLog();
