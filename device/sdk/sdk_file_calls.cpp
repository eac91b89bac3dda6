// The file calls of the C interface over the bulk-data channel: the firmware upgrade with its
// progress, the configuration file that waits for the camera's verdict, and the uploads whose
// verdict the camera reports as an event.

#include <condition_variable>
#include <mutex>

#include "device/codes.h"
#include "device/sdk/sdk_engine.h"
#include "device/xml_messages.h"
#include "resources/log.h"

namespace camfleet::sdk {

namespace {

// The transfer is the first half of an upgrade's percentage, the camera's write the second.
constexpr int kTransferShare = 50;

// The camera-side name of an upload: the file's own name when it may travel as it stands,
// else `fallback`.
std::string UploadName(const std::string& path, const char* fallback) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return ValidBulkName(name) ? name : fallback;
}

bool Readable(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

std::string FileEventText(const std::string& name) {
    return "<RESPONSE_PARAM LocalFileName=\"" + EscapeAttribute(name) + "\" />";
}

int ResultOf(const BulkResult& result) {
    switch (result.status) {
        case BulkStatus::kOk:
            return QV_OK;
        case BulkStatus::kCameraRefused:
            return QV_ERR_REFUSED;
        case BulkStatus::kLocalFile:
            return QV_ERR_FILE;
        case BulkStatus::kStalled:
            return QV_ERR_TIMEOUT;
        case BulkStatus::kSessionClosed:
            return QV_ERR_NOT_CONNECTED;
        default:
            return QV_ERR_SEND;
    }
}

}  // namespace

std::shared_ptr<Engine::HandleState> Engine::StateOf(int handle) {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

int Engine::StartUpgrade(int handle, const std::string& path) {
    if (path.empty())
        return QV_ERR_PARAM;
    std::shared_ptr<HandleState> state;
    {
        std::lock_guard lock(mutex_);
        const HandleState* checked = nullptr;
        const int usable = CheckHandle(handle, true, &checked);
        if (usable != QV_OK)
            return usable;
        state = handles_.at(handle);
    }
    if (!Readable(path))
        return QV_ERR_FILE;
    if (state->upgrading.exchange(true))
        return QV_ERR_BUSY;
    state->upgradeWriting = false;
    state->upgradePercent = 0;
    BulkCallbacks callbacks;
    // The transfer's callbacks run on its thread; the state outlives a logout through its
    // shared pointer, and a report for a handle that went is dropped by the dispatcher.
    callbacks.progress = [this, handle, state](uint64_t done, uint64_t total) {
        const int percent =
            total == 0 ? kTransferShare : static_cast<int>(done * kTransferShare / total);
        if (state->upgradePercent.exchange(percent) != percent)
            hooks_.PostStatus(handle, kEventUpgradeProgress, {});
    };
    callbacks.finished = [this, handle, state](const BulkResult& result) {
        state->upgrading = false;
        if (result.status == BulkStatus::kOk) {
            state->upgradePercent = kTransferShare;  // the camera writes it now
            state->upgradeWriting = true;
            return;
        }
        hooks_.PostStatus(
            handle, kEventUpgradeFailed,
            std::string("<Upgrade Error=\"") + BulkStatusName(result.status) + "\" />");
    };
    uint64_t id = 0;
    const int started =
        StartUpload(handle, {BulkPurpose::kFirmware, UploadName(path, "firmware.bin"), path},
                    std::move(callbacks), &id);
    if (started != QV_OK)
        state->upgrading = false;
    return started;
}

int Engine::UpgradeProgress(int handle) {
    const std::shared_ptr<HandleState> state = StateOf(handle);
    return state ? state->upgradePercent.load() : QV_ERR_HANDLE;
}

void Engine::TrackUpgrade(int handle, int type, const std::string& data) {
    if (type != kEventUpgradeProgress2 && type != kEventUpgradeDone && type != kEventUpgradeFailed)
        return;
    const std::shared_ptr<HandleState> state = StateOf(handle);
    if (!state)
        return;
    int percent = 0;
    if (type == kEventUpgradeProgress2) {
        if (ParseUpgradeProgress(data, &percent))
            state->upgradePercent = kTransferShare + percent * (100 - kTransferShare) / 100;
        return;
    }
    // A camera also reports the default configuration it took with event 14
    // (`<RESPONSE_PARAM ... DefaultConfig="1" />`); that one leaves the upgrade alone.
    if (type == kEventUpgradeDone && data.find("<Upgrade") == std::string::npos &&
        data.find("DefaultConfig=\"1\"") != std::string::npos)
        return;
    if (type == kEventUpgradeDone)
        state->upgradePercent = 100;
    state->upgradeWriting = false;
}

void Engine::EndUpgradeWrite(int handle) {
    const std::shared_ptr<HandleState> state = StateOf(handle);
    if (!state || !state->upgradeWriting.exchange(false))
        return;
    hooks_.PostStatus(handle, kEventUpgradeFailed, "<Upgrade Error=\"session lost\" />");
}

int Engine::UploadAndWait(int handle, BulkPurpose purpose, const std::string& path) {
    if (path.empty())
        return QV_ERR_PARAM;
    if (!Readable(path))
        return QV_ERR_FILE;
    struct Verdict {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        BulkResult result;
    };
    auto verdict = std::make_shared<Verdict>();
    BulkCallbacks callbacks;
    callbacks.finished = [verdict](const BulkResult& result) {
        std::lock_guard lock(verdict->mutex);
        verdict->result = result;
        verdict->finished = true;
        verdict->done.notify_all();
    };
    uint64_t id = 0;
    const int started = StartUpload(handle, {purpose, UploadName(path, "upload.bin"), path},
                                    std::move(callbacks), &id);
    if (started != QV_OK)
        return started;
    // Every transfer ends: a stall, a lost session or Shutdown gives it its verdict.
    std::unique_lock lock(verdict->mutex);
    verdict->done.wait(lock, [&] { return verdict->finished; });
    return ResultOf(verdict->result);
}

int Engine::UploadReported(int handle, BulkPurpose purpose, const std::string& path) {
    if (path.empty())
        return QV_ERR_PARAM;
    if (!Readable(path))
        return QV_ERR_FILE;
    const std::string name = UploadName(path, "upload.bin");
    BulkCallbacks callbacks;
    callbacks.finished = [this, handle, name](const BulkResult& result) {
        // After the attach the camera reports the outcome on the session, unless the
        // session itself went.
        if (result.status != BulkStatus::kOk &&
            (!result.attached || result.status == BulkStatus::kSessionClosed))
            hooks_.PostStatus(handle, kEventFileFailed, FileEventText(name));
    };
    uint64_t id = 0;
    return StartUpload(handle, {purpose, name, path}, std::move(callbacks), &id);
}

int Engine::DownloadReported(int handle, BulkPurpose purpose, const std::string& name,
                             const std::string& path) {
    const bool configExport = purpose == BulkPurpose::kConfig && name.empty();
    if (path.empty() || (!configExport && !ValidBulkName(name)))
        return QV_ERR_PARAM;
    BulkCallbacks callbacks;
    callbacks.finished = [this, handle, path](const BulkResult& result) {
        hooks_.PostStatus(handle,
                          result.status == BulkStatus::kOk ? kEventFileDone : kEventFileFailed,
                          FileEventText(path));
    };
    uint64_t id = 0;
    return StartDownload(handle, {purpose, name, path}, std::move(callbacks), &id);
}

}  // namespace camfleet::sdk
