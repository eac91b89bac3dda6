// camfleet-cli selfcheck: shows where the tool keeps its settings and files on this machine.

#include <QFileInfo>

#include <cstdio>

#include "cli/command.h"
#include "operations/config_transfer.h"
#include "operations/picture_downloads.h"
#include "platform/paths.h"
#include "resources/log.h"
#include "resources/save_param.h"

namespace camfleet::cli {
namespace {

int SelfCheck(const QStringList& args) {
    if (!args.isEmpty()) {
        std::fprintf(stderr, "camfleet-cli selfcheck: takes no arguments\n");
        return 2;
    }
    InitLog();
    const bool existed = QFileInfo::exists(CSaveParam::DefaultSettingsFilePath());
    CSaveParam settings;
    const char* state = settings.Load() ? "read"
                        : existed       ? "unreadable, defaults in use"
                                        : "not found, defaults in use";
    std::printf("settings file: %s (%s)\n", qPrintable(settings.settingsFilePath), state);
    std::printf("default user: %s\n", qPrintable(settings.defaultUser));
    std::printf("upgrade directory: %s\n", qPrintable(settings.upgradeDirectory));
    std::printf("configuration downloads: %s\n", qPrintable(DefaultConfigFolder()));
    std::printf("snapshot folder: %s\n", qPrintable(DefaultSnapshotFolder()));
    std::printf("debug configuration file: %s\n", LogConfigPath().c_str());
    std::printf("program directory: %s\n", ProgramDirectory().c_str());
    return 0;
}

const CommandRegistration selfCheckCommand("selfcheck", "selfcheck",
                                           "show where the settings and program files are",
                                           SelfCheck);

}  // namespace
}  // namespace camfleet::cli
