#pragma once
// Which firmware file a camera gets in a directory upgrade. Each camera gets the newest file
// of the directory whose name is "firmware_*" + model key + "*.bin"; the model key is the
// camera's model name without "DIR-OVADU-". No widgets and no SDK here: the upgrade operation
// asks, then uploads the chosen file.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace camfleet {

// Why a camera gets no file.
enum class FirmwareMiss {
    kNone,       // a file was chosen
    kNoVersion,  // the camera's firmware version is not known yet (it arrives after login)
    kNoModel,    // the model key is empty: it would match every file, another model's too
    kNoFile,     // no file of the directory matches the model key
};

struct FirmwareChoice {
    QString path;  // the chosen file; empty unless miss is kNone
    FirmwareMiss miss = FirmwareMiss::kNone;
};

// The state-column key of a miss; nullptr for kNone.
const char* FirmwareMissKey(FirmwareMiss miss);

// The model name without any "DIR-OVADU-" (removed until none is left).
QString FirmwareModelKey(const QString& model);

// True when `fileName` (a name, not a path) is a firmware file for `modelKey`: it starts
// with "firmware_", ends with ".bin" and holds the key between the two, each without regard
// to case. Every character of the key stands for itself ('*', '?' and '[' too). When the key
// contains "_AF" the name must contain "_AF" as well, in that case. An empty key matches
// nothing.
bool IsFirmwareFileFor(const QString& fileName, const QString& modelKey);

// Creation time of a file in seconds since 1970; absent when the file cannot be examined
// (it is then passed over).
using CreationTimeSource = std::function<std::optional<int64_t>(const QString& path)>;

// The creation time the file system reports (FileCreationSeconds of platform/).
std::optional<int64_t> FileSystemCreationTime(const QString& path);

// The file a camera with `model` and `firmwareVersion` gets from `directory` (an empty text
// names no folder, not the current one): among the regular files (links to regular files
// included) that IsFirmwareFileFor accepts, the one with the latest creation time; on equal
// times the one whose full path sorts last.
FirmwareChoice ChooseFirmware(const QString& directory, const QString& model,
                              const QString& firmwareVersion,
                              const CreationTimeSource& creationTime = FileSystemCreationTime);

}  // namespace camfleet
