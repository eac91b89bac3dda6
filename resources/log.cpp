#include "resources/log.h"

#include "platform/number_text.h"

#include "platform/paths.h"

#include <QFile>
#include <QStandardPaths>

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#endif

namespace camfleet {
namespace {

constexpr char kTag[] = "VuVirEvodu";
constexpr char kDefaultMonitor[] = "127.0.0.1";
#if defined(_WIN32)
constexpr char kConfigPath[] = "c:\\uc_dbg.cfg";
constexpr char kSeparator[] = "\\";
#else
constexpr char kConfigPath[] = "/etc/camfleet/uc_dbg.cfg";
constexpr char kSeparator[] = "/";
#endif
#if defined(__linux__)
constexpr char kAppendMode[] = "ae";  // close-on-exec: started programs do not inherit it
#else
constexpr char kAppendMode[] = "a";
#endif
// The configuration holds three short options; anything beyond this is not read.
constexpr std::streamsize kConfigReadMax = 64 * 1024;
constexpr std::size_t kMessageBuffer = kLogMessageMax + 1;
// Tag, ": " and the prefix (at most 11 characters per number) fit in the extra room.
constexpr std::size_t kLineBuffer = kMessageBuffer + 128;

#if defined(_WIN32)
using SocketHandle = SOCKET;
const SocketHandle kNoSocket = INVALID_SOCKET;
void CloseSocket(SocketHandle s) {
    closesocket(s);
}
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
void CloseSocket(SocketHandle s) {
    ::close(s);
}
#endif

std::tm SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

// Calendar date of `t` as one number (yyyymmdd), so that any change of date is seen.
long long DateKey(const std::tm& t) {
    return (static_cast<long long>(t.tm_year) + 1900) * 10000 + (t.tm_mon + 1) * 100LL + t.tm_mday;
}

// File sink state. Every field is guarded by g_logLock.
struct FileSink {
    std::string directory;  // empty while the sink is off
    char runStamp[7] = "";  // "hhmmss" of InitLog, the same for the whole run
    std::FILE* file = nullptr;
    int part = 0;
    long long openDate = 0;  // DateKey of the open file
    int lines = 0;           // lines counted in the current part

    void Close() {
        if (file != nullptr)
            std::fclose(file);
        file = nullptr;
    }

    std::string FileName(const std::tm& t) const {
        char name[96];
        const int n = std::snprintf(name, sizeof name, "%s_%04d%02d%02d_%s_%d.log", kTag,
                                    t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, runStamp, part);
        if (n < 0)
            return {};
        return directory + kSeparator + name;
    }

    // Writes one finished line; rotates on a change of date and after kLogPartLines lines.
    // A file that cannot be opened drops this line; the next line tries again.
    void Write(const std::tm& t, const char* line) {
        const long long date = DateKey(t);
        if (file != nullptr && date != openDate) {
            Close();
            part = 0;
            lines = 0;
        } else if (lines >= kLogPartLines) {
            Close();
            ++part;
            lines = 0;
        } else {
            ++lines;
        }
        openDate = date;
        if (file == nullptr) {
            file = std::fopen(FileName(t).c_str(), kAppendMode);
            if (file == nullptr)
                return;
        }
        std::fputs(line, file);
        std::fflush(file);
    }
};

// Network sink: one socket shared by all threads. Every field is guarded by `lock`.
struct MonitorSink {
    std::mutex lock;
    SocketHandle socket = kNoSocket;
    sockaddr_in target{};
    bool targetValid = false;  // false when the monitor text is not an IPv4 address

    void Configure(const std::string& monitorIp) {
        std::lock_guard<std::mutex> guard(lock);
        CloseLocked();
        target = {};
        target.sin_family = AF_INET;
        target.sin_port = htons(kLogMonitorPort);
        const char* ip = monitorIp.empty() ? kDefaultMonitor : monitorIp.c_str();
        targetValid = ::inet_pton(AF_INET, ip, &target.sin_addr) == 1;
    }

    // Sends `line` without its terminator as one datagram. Returns 0, or -1 when no
    // socket could be made, the monitor address is unusable or the send fell short (the
    // socket is then closed and the next line makes a new one).
    int Send(const char* line) {
        std::lock_guard<std::mutex> guard(lock);
        if (!targetValid)
            return -1;
        if (socket == kNoSocket) {
            socket = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (socket == kNoSocket)
                return -1;
        }
        const std::size_t length = std::strlen(line);
        const auto sent = ::sendto(socket, line, static_cast<int>(length), 0,
                                   reinterpret_cast<const sockaddr*>(&target), sizeof target);
        if (sent < 0 || static_cast<std::size_t>(sent) < length) {
            CloseLocked();
            return -1;
        }
        return 0;
    }

    void CloseLocked() {
        if (socket != kNoSocket)
            CloseSocket(socket);
        socket = kNoSocket;
    }
};

std::mutex g_logLock;  // guards g_fileSink and g_clock
FileSink g_fileSink;
std::function<std::tm()> g_clock;  // empty: the system clock
MonitorSink g_monitor;
// Written by InitLog only; read without a lock so that a switched-off log costs nothing.
std::atomic<bool> g_fileOn{false};
std::atomic<bool> g_networkOn{false};

std::tm ReadClockLocked() {
    return g_clock ? g_clock() : SystemLocalTime();
}

std::optional<std::string_view> OptionValue(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = at + key.size();
    const std::size_t end = text.find(';', start);
    if (end == std::string_view::npos)
        return std::nullopt;
    return text.substr(start, end - start);
}

std::string ReadConfigText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string text(static_cast<std::size_t>(kConfigReadMax), '\0');
    in.read(text.data(), kConfigReadMax);
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The program directory when files can be made there (a portable copy), otherwise the
// per-user data folder (an installed copy whose folder belongs to the system).
std::string ChooseLogDirectory() {
    const std::string programDir = ProgramDirectory();
    if (IsDirectoryWritable(programDir))
        return programDir;
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return programDir;
    const std::string dir = QFile::encodeName(base).toStdString() + "/camfleet/logs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

#if defined(_WIN32)
void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#endif

}  // namespace

LogConfig ParseLogConfig(std::string_view text) {
    LogConfig config;
    if (auto v = OptionValue(text, "file="))
        config.file = TextToInt(*v);
    if (auto v = OptionValue(text, "network="))
        config.network = TextToInt(*v);
    if (auto v = OptionValue(text, "monitor_ip="))
        config.monitorIp = std::string(*v);
    return config;
}

std::string LogConfigPath() {
    const char* overridePath = std::getenv("CAMFLEET_DEBUG_CFG");
    if (overridePath != nullptr && *overridePath != '\0')
        return overridePath;
    return kConfigPath;
}

std::string LogDirectory() {
    std::lock_guard<std::mutex> guard(g_logLock);
    return g_fileSink.directory;
}

std::uint32_t LogThreadId() {
#if defined(_WIN32)
    return static_cast<std::uint32_t>(GetCurrentThreadId());
#elif defined(__linux__)
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
#else
    return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
#endif
}

void SetLogClockForTesting(std::function<std::tm()> clock) {
    std::lock_guard<std::mutex> guard(g_logLock);
    g_clock = std::move(clock);
}

void InitLog() {
#if defined(_WIN32)
    StartWinsock();
#endif
    const LogConfig config = ParseLogConfig(ReadConfigText(LogConfigPath()));
    const std::string directory = config.file != 0 ? ChooseLogDirectory() : std::string();
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        g_fileSink.Close();
        g_fileSink.directory = directory;
        g_fileSink.part = 0;
        g_fileSink.openDate = 0;
        g_fileSink.lines = 0;
        const std::tm start = ReadClockLocked();
        const int n = std::snprintf(g_fileSink.runStamp, sizeof g_fileSink.runStamp, "%02d%02d%02d",
                                    start.tm_hour, start.tm_min, start.tm_sec);
        if (n < 0)
            g_fileSink.runStamp[0] = '\0';
    }
    g_monitor.Configure(config.network != 0 ? config.monitorIp : std::string());
    g_fileOn = config.file != 0;
    g_networkOn = config.network != 0;
    LogMessage("Build %s %s\n", __DATE__, __TIME__);
}

int LogMessage(const char* format, ...) {
    const bool fileOn = g_fileOn;
    const bool networkOn = g_networkOn;
    if (!fileOn && !networkOn)
        return 0;

    char message[kMessageBuffer];
    va_list args;
    va_start(args, format);
    const int n = format != nullptr ? std::vsnprintf(message, sizeof message, format, args) : -1;
    va_end(args);
    if (n < 0)
        message[0] = '\0';

    const std::uint32_t threadId = LogThreadId();
    char line[kLineBuffer];
    {
        // The clock is read under the lock so that lines reach the file in time order and
        // a change of date is seen by the first line of the new date.
        std::lock_guard<std::mutex> guard(g_logLock);
        const std::tm t = ReadClockLocked();
        char prefix[96];
        const int p = std::snprintf(prefix, sizeof prefix,
                                    "%04d-%02d-%02d %02d:%02d:%02d: %08x: ", t.tm_year + 1900,
                                    t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                                    static_cast<unsigned>(threadId));
        if (p < 0)
            prefix[0] = '\0';
        const int l = std::snprintf(line, sizeof line, "%s: %s%s", kTag, prefix, message);
        if (l < 0)
            line[0] = '\0';
        if (fileOn)
            g_fileSink.Write(t, line);
    }
    return networkOn ? g_monitor.Send(line) : 0;
}

}  // namespace camfleet
