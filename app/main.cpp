// camfleet: the window program. Finds the cameras of the LAN and lists them.
//
//   camfleet                       search every adapter of this machine
//   camfleet --lab N               search an embedded lab of N simulated cameras on loopback
//   camfleet --screenshot FILE     save a picture of the window after a few seconds and quit
//           [--screenshot-delay MS]

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "sim/sim_lab.h"

namespace {

constexpr int kDefaultScreenshotDelayMs = 4000;
constexpr int kMaxLabCameras = 5000;

struct ProgramOptions {
    int labCameras = 0;
    QString screenshot;
    int screenshotDelayMs = kDefaultScreenshotDelayMs;
};

// False (with a message on stderr) for a usage error.
bool ParseOptions(const QApplication& app, ProgramOptions* options) {
    QCommandLineParser parser;
    parser.setApplicationDescription("camfleet: find and manage the IP cameras of a LAN");
    parser.addHelpOption();
    const QCommandLineOption lab("lab", "Search an embedded lab of N simulated cameras.", "N");
    const QCommandLineOption shot("screenshot", "Save the window to FILE and quit.", "FILE");
    const QCommandLineOption delay("screenshot-delay", "Wait MS before the screenshot.", "MS");
    parser.addOptions({lab, shot, delay});
    parser.process(app);
    bool ok = true;
    if (parser.isSet(lab)) {
        options->labCameras = parser.value(lab).toInt(&ok);
        if (!ok || options->labCameras < 1 || options->labCameras > kMaxLabCameras) {
            std::fprintf(stderr, "camfleet: --lab takes 1 to %d cameras\n", kMaxLabCameras);
            return false;
        }
    }
    options->screenshot = parser.value(shot);
    if (parser.isSet(delay)) {
        options->screenshotDelayMs = parser.value(delay).toInt(&ok);
        if (!ok || options->screenshotDelayMs < 0) {
            std::fprintf(stderr, "camfleet: --screenshot-delay takes milliseconds\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("camfleet");
    ProgramOptions options;
    if (!ParseOptions(app, &options))
        return 2;

    camfleet::sim::SimLab lab;  // outlives the window
    camfleet::WindowOptions windowOptions;
    if (options.labCameras > 0) {
        camfleet::sim::LabOptions labOptions;
        labOptions.cameras = options.labCameras;
        std::string error;
        if (lab.Start(labOptions, &error) != 0) {
            std::fprintf(stderr, "camfleet: lab not started: %s\n", error.c_str());
            return 1;
        }
        windowOptions.searcher.labMode = true;
    }

    camfleet::CRoRudAzovorErarDlg window(windowOptions);
    window.show();
    bool screenshotFailed = false;
    if (!options.screenshot.isEmpty()) {
        // Without a window manager (Xvfb) maximising does nothing: fill the screen instead.
        QTimer::singleShot(500, &window,
                           [&] { window.setGeometry(window.screen()->availableGeometry()); });
        QTimer::singleShot(options.screenshotDelayMs, &window, [&] {
            screenshotFailed = !window.grab().save(options.screenshot);
            if (screenshotFailed)
                std::fprintf(stderr, "camfleet: cannot write %s\n", qPrintable(options.screenshot));
            window.close();
        });
    }
    const int status = app.exec();
    window.Shutdown();
    lab.Stop();
    return screenshotFailed ? 1 : status;
}
