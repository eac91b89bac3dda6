#pragma once
// Diagnostic log: printf-style lines to daily, size-limited files and to a UDP monitor.
// Both sinks are off unless the debug configuration file switches them on.
// Thread-safe: any thread may call LogMessage.

namespace camfleet {

// Reads the debug configuration file and sets up the sinks; logs "Build %s %s\n".
// Safe to call more than once (each call starts the state afresh).
void InitLog();

// Formats one line ("VuVirEvodu: <date time>: <thread id>: <message>") and hands it to
// the enabled sinks. Returns 0, or -1 when the network sink failed. The message carries
// its own line end where it wants one.
int LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace camfleet
