#pragma once
// Diagnostic log: printf-style lines to daily, size-limited files and to a UDP monitor.
// Both sinks are off unless the debug configuration file switches them on; while both are
// off, LogMessage returns at once without formatting anything.
// Thread-safe: any thread may call LogMessage. InitLog and the *ForTesting setters are
// meant for start-up (or a test's set-up), not for calls racing with other log calls.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#if defined(__GNUC__) || defined(__clang__)
#define CAMFLEET_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CAMFLEET_PRINTF_FORMAT(fmt, args)
#endif

namespace camfleet {

// Reads the debug configuration file and sets up the sinks; logs "Build %s %s\n".
// Safe to call more than once (each call starts the state afresh: the open log file is
// closed, the part number and line count return to 0 and the run stamp is taken anew).
void InitLog();

// Formats one line ("VuVirEvodu: <date time>: <thread id>: <message>") and hands it to
// the enabled sinks. Returns 0, or -1 when the network sink failed. The message carries
// its own line end where it wants one; it is cut to kLogMessageMax characters.
int LogMessage(const char* format, ...) CAMFLEET_PRINTF_FORMAT(1, 2);

// Longest message text of one line, in characters (without the prefix).
inline constexpr int kLogMessageMax = 10239;
// Lines a log file holds before the next part begins.
inline constexpr int kLogPartLines = 20000;
// UDP port of the monitor that receives every line when the network sink is on.
inline constexpr std::uint16_t kLogMonitorPort = 3000;

// Options of the debug configuration file. Each is a key directly followed by its value
// and ended by ";": "file=" and "network=" (decimal, non-zero switches the sink on) and
// "monitor_ip=" (dotted IPv4 address; empty means 127.0.0.1).
struct LogConfig {
    int file = 0;
    int network = 0;
    std::string monitorIp;

    bool operator==(const LogConfig&) const = default;
};

// Parses the text of the debug configuration file. A missing key, or a key without a
// following ";", leaves its field at the default. Numbers follow the C text-to-integer
// rules (leading blanks, optional sign, digits up to the first other character; no
// digits gives 0); values beyond the int range are clamped rather than overflowing.
LogConfig ParseLogConfig(std::string_view text);

// Path of the debug configuration file: the environment variable CAMFLEET_DEBUG_CFG when
// set and not empty, otherwise "c:\uc_dbg.cfg" on Windows and "/etc/camfleet/uc_dbg.cfg"
// elsewhere.
std::string LogConfigPath();

// Folder the log files are written to, chosen by InitLog: the program directory when it
// is writable, otherwise "<per-user data folder>/camfleet/logs" (created when needed).
// Empty while the file sink is off.
std::string LogDirectory();

// Id of the calling thread as it appears in each line (the OS thread id).
std::uint32_t LogThreadId();

// Replaces the source of the local time (year, month, day, hour, minute, second of a
// std::tm are used). An empty function restores the system clock. Read under the log
// lock, once per line and once in InitLog for the run stamp.
void SetLogClockForTesting(std::function<std::tm()> clock);

}  // namespace camfleet
