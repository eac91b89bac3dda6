// Reads arbitrary bytes as the settings file. Whatever is read must survive Save and a second
// read unchanged (texts holding a carriage return after one more round).
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

#include "resources/save_param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const bool ready = qputenv("CAMFLEET_DOCUMENTS_DIR", dir.path().toUtf8());
    if (!ready || !dir.isValid())
        std::abort();

    QFile file(dir.filePath("qv_cfg.xml"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    const camfleet::CSaveParam read = camfleet::LoadedSettings();
    if (!read.Save())
        std::abort();
    QFile saved(file.fileName());
    const bool hasCarriageReturn =
        saved.open(QIODevice::ReadOnly) && saved.readAll().contains('\r');
    const camfleet::CSaveParam again = camfleet::LoadedSettings();
    if (hasCarriageReturn) {
        // XML reads a carriage return as a line feed: such texts change once, then hold.
        if (!again.Save() || !(camfleet::LoadedSettings() == again))
            std::abort();
    } else if (!(again == read)) {
        std::abort();
    }
    return 0;
}
