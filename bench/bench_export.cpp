// Device-list export benchmark, 10,000 filled rows (every title Chinese, every tenth one
// Korean as well, so a tenth of the titles take the character-by-character GB2312 path):
//  - the XML device list printed and saved (SaveDeviceListXml), median of the runs;
//  - the export workbook written (SaveExportWorkbook), median of the runs;
//  - the saved XML list read back (LoadDeviceListXml), median of the runs.
// Each figure is printed with its target; the program always exits 0 when the files could be
// written and read.
//
//   bench_export [--rows N] [--runs R]

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/xml_messages.h"
#include "devicelist/device_list_file.h"
#include "platform/number_text.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kTargetMs = 1000.0;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::vector<camfleet::DeviceRecord> MakeRecords(int count) {
    std::vector<camfleet::DeviceRecord> records(count);
    for (int i = 0; i < count; ++i) {
        camfleet::DeviceRecord& r = records[i];
        std::memset(&r, 0, sizeof r);
        camfleet::SearchAnswer& a = r.answer;
        a = camfleet::EmptySearchAnswer();
        std::snprintf(a.serialNumber, sizeof a.serialNumber, "%016X", 0x1000u + i * 7919u);
        std::snprintf(a.p2pId, sizeof a.p2pId, "NVSP-%08d-ABCDE", i);
        camfleet::CopyField(a.deviceType, "DIR-OVADU-NVS3516E_V2");
        std::snprintf(a.network.macAddress, sizeof a.network.macAddress, "00:1a:2b:%02x:%02x:%02x",
                      (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        std::snprintf(a.network.ipAddress, sizeof a.network.ipAddress, "10.0.%d.%d", i / 250,
                      i % 250 + 1);
        camfleet::CopyField(a.network.netmask, "255.255.0.0");
        camfleet::CopyField(a.network.gateway, "10.0.0.254");
        camfleet::CopyField(a.network.dns1, "8.8.8.8");
        camfleet::CopyField(a.network.dns2, "8.8.4.4");
        a.network.dhcp = static_cast<int16_t>(i % 2);
        a.streamAccess.ptzPort = 8091;
        a.streamAccess.webPort = 80;
        a.streamAccess.videoPort = 554;
        camfleet::CopyField(a.account.username, "admin");
        camfleet::CopyField(a.account.password, "admin123");
        std::snprintf(a.osdText, sizeof a.osdText, "%s %d%s", "仓库东门摄像机", i,
                      i % 10 == 0 ? " 정문" : "");
        camfleet::CopyField(a.version, "V5.2.1 build 230615");
        camfleet::CopyField(r.firmwareVersion, "V5.2.1 build 230615");
    }
    return records;
}

// Median duration of `runs` calls of `work`, in ms; negative when a call failed.
double MedianMs(int runs, const std::function<bool()>& work) {
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        const Clock::time_point start = Clock::now();
        if (!work()) {
            return -1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return Median(ms);
}

bool Report(const char* what, int rows, double ms, qint64 bytes) {
    std::printf("%s %d rows: %.1f ms (target < %.0f ms: %s), file %.1f KB\n", what, rows, ms,
                kTargetMs, ms < kTargetMs ? "met" : "MISSED", bytes / 1024.0);
    return ms < kTargetMs;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int rows = 10000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0)
            rows = camfleet::TextToInt(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = camfleet::TextToInt(argv[i + 1]);
    }
    rows = std::max(rows, 1);
    runs = std::max(runs, 1);

    const std::vector<camfleet::DeviceRecord> records = MakeRecords(rows);
    std::vector<const camfleet::DeviceRecord*> pointers;
    for (const camfleet::DeviceRecord& r : records)
        pointers.push_back(&r);
    QTemporaryDir dir;
    const QString xml = dir.filePath(QStringLiteral("devices.xml"));
    const QString xlsx = dir.filePath(QStringLiteral("devices.xlsx"));
    QString error;

    const double printMs =
        MedianMs(runs, [&] { return !camfleet::PrintDeviceListXml(pointers).empty(); });
    const double xmlMs =
        MedianMs(runs, [&] { return camfleet::SaveDeviceListXml(xml, pointers, &error); });
    const double bookMs =
        MedianMs(runs, [&] { return camfleet::SaveExportWorkbook(xlsx, pointers, &error); });
    std::vector<camfleet::SearchAnswer> answers;
    const double loadMs = MedianMs(runs, [&] {
        return camfleet::LoadDeviceListXml(xml, &answers, &error) &&
               answers.size() == static_cast<std::size_t>(rows);
    });
    if (printMs < 0 || xmlMs < 0 || bookMs < 0 || loadMs < 0) {
        std::fprintf(stderr, "bench_export: %s\n", qPrintable(error));
        return 1;
    }

    std::printf("median of %d runs:\n", runs);
    std::printf("  (printing the XML alone: %.1f ms)\n", printMs);
    bool met = Report("xml export", rows, xmlMs, QFileInfo(xml).size());
    met = Report("xlsx export", rows, bookMs, QFileInfo(xlsx).size()) && met;
    met = Report("xml import", rows, loadMs, QFileInfo(xml).size()) && met;
    return met ? 0 : 1;
}
