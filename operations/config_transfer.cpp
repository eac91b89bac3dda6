#include "operations/config_transfer.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstring>

#include "device/codes.h"
#include "device/config_file.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/batch_targets.h"
#include "operations/picture_downloads.h"
#include "resources/display_strings.h"
#include "resources/log.h"
#include "resources/save_param.h"

namespace camfleet {

namespace {

QString FieldText(const char* field, std::size_t size) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, size)));
}

bool SafeNameByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// `text` as it may stand in a file name: bytes outside [A-Za-z0-9._-] become '_', and so does
// every byte of "." and "..".
QString SafeNamePart(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty())
        return QStringLiteral("_");
    const bool dots = bytes == "." || bytes == "..";
    for (char& c : bytes)
        if (dots || !SafeNameByte(c))
            c = '_';
    return QString::fromLatin1(bytes);
}

}  // namespace

ConfigFileCalls SdkConfigFileCalls() {
    return {[](int handle, const std::string& path) {
                return QV_NETSDK_IPC_GetConfigFile(handle, path.c_str());
            },
            [](int handle, const std::string& path) {
                return QV_NETSDK_IPC_SetConfigFile(handle, path.c_str());
            }};
}

QString DefaultConfigFolder() {
    return QDir(CommonDocumentsFolder()).filePath(QStringLiteral("camfleet/config"));
}

QString ConfigFileName(const QString& serial, const QString& ip) {
    return QStringLiteral("config_%1_%2.xml")
        .arg(SafeNamePart(serial), IsDottedAddress(ip) ? ip : SafeNamePart(ip));
}

ConfigTransfer::ConfigTransfer(DeviceListModel* model, AnswerRouter* router, WorkerPool* pool,
                               QString folder, ConfigFileCalls calls)
    : model_(model), pool_(pool), folder_(std::move(folder)), calls_(std::move(calls)) {
    done_ = router->OnEvent(kEventFileDone, AnswerRouter::kAnyHandle,
                            [this](const StatusMessage& m) { OnFileEvent(m, true); });
    failed_ = router->OnEvent(kEventFileFailed, AnswerRouter::kAnyHandle,
                              [this](const StatusMessage& m) { OnFileEvent(m, false); });
    confirmed_ = router->OnEvent(kEventUpgradeDone, AnswerRouter::kAnyHandle,
                                 [this](const StatusMessage& m) { OnConfirmed(m); });
}

int ConfigTransfer::Running() const {
    int count = 0;
    for (const Job& job : jobs_)
        count += job.state == State::kRunning ? 1 : 0;
    return count;
}

int ConfigTransfer::DefaultState(const std::string& serial) const {
    const auto it = defaultStates_.find(serial);
    return it != defaultStates_.end() ? it->second : 0;
}

int ConfigTransfer::Download(const std::vector<int>& rows) {
    const bool folderReady = QDir().mkpath(folder_);
    if (!folderReady)
        LogMessage("cannot create %s\n", qPrintable(folder_));
    // The SDK calls open the camera's transfer; they run on the pool, so that a few hundred of
    // them never hold up the window. The job is known before its call, so the SDK's event
    // finds it whenever it comes.
    std::weak_ptr<const int> alive = alive_;
    return ForEachTarget(*model_, rows, DisplayKey("MSGTIP21"), [&](int row, int handle) {
        const DeviceRecord* record = model_->Record(row);
        const QString name = ConfigFileName(
            FieldText(record->answer.serialNumber, sizeof record->answer.serialNumber),
            FieldText(record->answer.network.ipAddress, sizeof record->answer.network.ipAddress));
        const QString path = QDir::toNativeSeparators(QDir(folder_).filePath(name));
        const std::size_t index = jobs_.size();
        jobs_.push_back({record->key, Kind::kDownload, handle, path, State::kRunning});
        if (!folderReady) {
            jobs_.back().state = State::kFailed;
            model_->SetStateKey(row, DisplayKey("MSGTIP33"));
            return;
        }
        model_->SetStateKey(row, DisplayKey("MSGTIP18"));
        pool_->Start([download = calls_.download, handle, file = path.toStdString()](
                         std::stop_token) { return download(handle, file); },
                     [this, alive, index](int result) {
                         if (!alive.expired() && result != 0)
                             Finish(index, false);
                     });
    });
}

int ConfigTransfer::Upload(const std::vector<int>& rows, const QString& path) {
    int started = 0;
    ForEachTarget(*model_, rows, DisplayKey("MSGTIP20"), [&](int row, int handle) {
        started += StartUpload(row, handle, path, Kind::kUpload, nullptr);
    });
    return started;
}

int ConfigTransfer::StartUpload(int row, int handle, const QString& path, Kind kind,
                                std::shared_ptr<void> keepAlive) {
    const DeviceRecord* record = model_->Record(row);
    model_->SetStateKey(row, DisplayKey("MSGTIP32"));
    const std::size_t index = jobs_.size();
    jobs_.push_back({record->key, kind, handle, path, State::kRunning});
    const std::string file = path.toStdString();
    std::weak_ptr<const int> alive = alive_;
    pool_->Start(
        // The temporary folder of a default configuration lives as long as its upload.
        [upload = calls_.upload, handle, file, keepAlive](std::stop_token) {
            return upload(handle, file);
        },
        [this, alive, index](int result) {
            if (!alive.expired())
                Finish(index, result == 0);
        });
    return 1;
}

void ConfigTransfer::Finish(std::size_t index, bool ok) {
    Job& job = jobs_[index];
    job.state = ok ? State::kDone : State::kFailed;
    const int row = model_->FindRowByKey(job.key.c_str());
    if (!ok && row >= 0)
        model_->SetStateKey(
            row, job.kind == Kind::kDownload ? DisplayKey("MSGTIP33") : DisplayKey("MSGTIP31"));
}

bool ConfigTransfer::ChooseDefault(const QString& path) {
    if (!CheckConfigFile(path.toStdString()))
        return false;
    defaultPath_ = path;
    defaultStates_.clear();
    for (int row = 0; row < model_->Count(); ++row)
        PushDefault(row);
    return true;
}

bool ConfigTransfer::PushDefault(int row) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return false;
    const std::string serial(
        record->answer.serialNumber,
        strnlen(record->answer.serialNumber, sizeof record->answer.serialNumber));
    if (DefaultState(serial) == kDefaultConfirmed || defaultPath_.isEmpty() ||
        !CheckConfigFile(defaultPath_.toStdString()))
        return false;
    int handle = 0;
    if (CheckDevice(*model_, row, DisplayKey("MSGTIP20"), &handle) != StepCheck::kReady)
        return false;
    auto folder = std::make_shared<QTemporaryDir>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("camfleet-XXXXXX")));
    std::string file;
    if (!folder->isValid() ||
        MakeDefaultConfigIn(defaultPath_.toStdString(), folder->path().toStdString(), &file) != 1) {
        LogMessage("default configuration for %s not made\n", serial.c_str());
        model_->SetStateKey(row, DisplayKey("MSGTIP31"));
        return false;
    }
    StartUpload(row, handle, QString::fromStdString(file), Kind::kDefault, folder);
    defaultStates_[serial] = kDefaultSent;
    return true;
}

void ConfigTransfer::OnFileEvent(const StatusMessage& m, bool done) {
    const std::string text(m.payload, strnlen(m.payload, sizeof m.payload));
    const auto attributes = sdk::ReadAttributes(text);
    const auto it = attributes.find("LocalFileName");
    if (it == attributes.end())
        return;
    // Only a download this operation started on that handle; the SDK prints the path
    // attribute-escaped and the lenient reader leaves it so.
    for (std::size_t index = 0; index < jobs_.size(); ++index) {
        Job& job = jobs_[index];
        if (job.kind != Kind::kDownload || job.state != State::kRunning || job.received ||
            job.handle != m.handle || EscapeAttribute(job.path.toStdString()) != it->second)
            continue;
        if (!done) {
            job.state = State::kFailed;
            return;
        }
        // Printed again on the pool: hundreds of files may arrive at once. The job ends when
        // its file is in its final form.
        job.received = true;  // a repeated event for the same path finds no job
        std::weak_ptr<const int> alive = alive_;
        pool_->Start(
            [file = job.path.toStdString()](std::stop_token) { return ReprintXmlFile(file); },
            [this, alive, index](bool reprinted) {
                if (alive.expired())
                    return;
                jobs_[index].state = State::kDone;
                if (!reprinted)
                    LogMessage("configuration %s kept as received: not well-formed XML\n",
                               qPrintable(jobs_[index].path));
            });
        return;
    }
}

void ConfigTransfer::OnConfirmed(const StatusMessage& m) {
    const int row = model_->FindRowByHandle(m.handle);
    const DeviceRecord* record = row >= 0 ? model_->Record(row) : nullptr;
    if (record == nullptr || !IsDefaultConfigReport(m))
        return;
    const std::string serial(
        record->answer.serialNumber,
        strnlen(record->answer.serialNumber, sizeof record->answer.serialNumber));
    const auto it = defaultStates_.find(serial);
    if (it != defaultStates_.end())
        it->second = kDefaultConfirmed;
}

}  // namespace camfleet
