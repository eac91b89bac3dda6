// Discovery benchmark: how long a search takes to find 1,000 simulated cameras on the
// loopback lab (median of 5 runs; target 2.0 s), and how many answers the answer handler
// parses per second on one core (target 20,000).
//
//   bench_discovery [--cameras N] [--runs R] [--spread MS]
//
// --spread: the cameras answer after a random delay of 0 to MS milliseconds.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device/xml_messages.h"
#include "discovery/device_searcher.h"
#include "discovery/search_answer_handler.h"
#include "platform/number_text.h"
#include "sim/answer_printer.h"
#include "sim/lab_socket.h"
#include "sim/sim_lab.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kDiscoveryTargetSeconds = 2.0;
constexpr double kParseTargetPerSecond = 20000;
constexpr uint16_t kBenchPort = 3101;  // apart from a lab that may run on 3001

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One search from Start until `cameras` are in the table, with one request per second as
// the window's timer sends them. Returns the seconds taken (or a negative value after 10 s)
// and the number of requests that were needed.
double TimeOneSearch(int cameras, int receiveBuffer, int* requests) {
    camfleet::DeviceTable table;
    camfleet::DeviceSearcher searcher(
        table, {.labMode = true, .port = kBenchPort, .receiveBuffer = receiveBuffer});
    const Clock::time_point start = Clock::now();
    searcher.StartSearch();
    *requests = 1;
    Clock::time_point nextRequest = start + std::chrono::seconds(1);
    while (table.Count() < static_cast<std::size_t>(cameras)) {
        if (Clock::now() - start > std::chrono::seconds(10))
            return -1;
        if (Clock::now() >= nextRequest) {
            searcher.SendSearchMessage(camfleet::kMsgSearch, nullptr, 0);
            ++*requests;
            nextRequest += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double taken = Seconds(Clock::now() - start);
    searcher.StopSearchThread();
    return taken;
}

// Median of `runs` searches with `receiveBuffer`; prints each run. Negative when a run
// did not find every camera within 10 s.
double MedianSearch(int cameras, int runs, int receiveBuffer) {
    std::vector<double> times;
    std::printf("  receive buffer %d bytes:", receiveBuffer);
    for (int run = 0; run < runs; ++run) {
        int requests = 0;
        times.push_back(TimeOneSearch(cameras, receiveBuffer, &requests));
        std::printf(" %.3f s (%d req)", times.back(), requests);
        std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("\n    median %.3f s\n", median);
    return times.front() < 0 ? -1 : median;
}

// Times the search with the classic receive buffer (for comparison) and with the one the
// searcher uses; the latter is held against the target.
int BenchDiscovery(int cameras, int runs, int spreadMs) {
    camfleet::sim::SimLab lab;
    camfleet::sim::LabOptions options;
    options.cameras = cameras;
    options.port = kBenchPort;
    options.maxAnswerDelayMs = spreadMs;
    std::string error;
    if (lab.Start(options, &error) != 0) {
        std::fprintf(stderr, "bench_discovery: %s\n", error.c_str());
        return -1;
    }
    std::printf("discovery of %d lab cameras (answers spread over %d ms), median of %d:\n", cameras,
                spreadMs, runs);
    MedianSearch(cameras, runs, camfleet::kClassicReceiveBuffer);
    const double median = MedianSearch(cameras, runs, camfleet::kSearchReceiveBuffer);
    const bool met = median >= 0 && median <= kDiscoveryTargetSeconds;
    std::printf("  all %d cameras in the table: median %.3f s, target <= %.1f s: %s\n", cameras,
                median, kDiscoveryTargetSeconds, met ? "met" : "MISSED");
    return met ? 0 : 1;
}

int BenchParse(int distinct, int total) {
    std::vector<std::string> answers;
    for (int i = 0; i < distinct; ++i)
        answers.push_back(camfleet::sim::PrintCameraAnswer(
            camfleet::sim::MakeCameraProfile(1, i, "127.0.10.1", {}, 8091), 1000 + i));
    camfleet::DeviceTable table;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < total; ++i) {
        const std::string& text = answers[i % distinct];
        if (camfleet::IsSearchAnswerMessage(text))
            camfleet::HandleSearchAnswer(table, text.data(), long(text.size()), "127.0.0.1");
    }
    const double rate = total / Seconds(Clock::now() - start);
    const bool met = rate >= kParseTargetPerSecond && table.Count() == std::size_t(distinct);
    std::printf(
        "answer parse rate (header check + parse + store, one core): %.0f answers/s, "
        "target >= %.0f: %s\n",
        rate, kParseTargetPerSecond, met ? "met" : "MISSED");
    return met ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int cameras = 1000, runs = 5, spreadMs = camfleet::sim::LabOptions().maxAnswerDelayMs;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--cameras") == 0)
            cameras = camfleet::TextToInt(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = camfleet::TextToInt(argv[i + 1]);
        if (std::strcmp(argv[i], "--spread") == 0)
            spreadMs = camfleet::TextToInt(argv[i + 1]);
    }
    const int parse = BenchParse(1000, 100000);
    const int discovery = BenchDiscovery(cameras, std::max(runs, 1), spreadMs);
    return parse == 0 && discovery == 0 ? 0 : 1;
}
