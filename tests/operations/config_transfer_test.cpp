// Configuration files against fake SDK calls: where downloads go and which finished files are
// taken, uploads and their verdicts, and the default configuration's table across logins,
// confirmations and a new choice.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/config_file.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/config_transfer.h"
#include "operations/list_fixture.h"
#include "qt_application.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

constexpr char kConfig[] =
    "<NORVEKConfig><RecordConfig/><ServerConfig/><SystemConfig/><NetworkConfig/>"
    "<MediaConfig><Video Brightness=\"10\"/></MediaConfig><MediaStreamConfig/><AlarmConfig/>"
    "</NORVEKConfig>";

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ConfigTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        rows_ = {AddRow(model_, "S1", 11, true), AddRow(model_, "S2", 12, true),
                 AddRow(model_, "S3", 0, false)};
        ConfigFileCalls calls;
        calls.download = [this](int handle, const std::string& path) {
            std::lock_guard lock(mutex_);
            downloads_.push_back({handle, path});
            return downloadResult_.load();
        };
        calls.upload = [this](int handle, const std::string& path) {
            std::lock_guard lock(mutex_);
            // The file must be there, whole, while its upload runs.
            uploads_.push_back({handle, path, Read(QString::fromStdString(path)).toStdString()});
            return uploadResult_.load();
        };
        configs_ = std::make_unique<ConfigTransfer>(&model_, &router_, &pool_,
                                                    dir_.filePath("config"), std::move(calls));
    }
    void Event(int handle, int type, const std::string& text) {
        router_.HandleStatus(*MakeStatusMessage(handle, type, text.c_str()));
    }
    void FileEvent(int handle, int type, const std::string& path) {
        Event(handle, type, "<RESPONSE_PARAM LocalFileName=\"" + EscapeAttribute(path) + "\" />");
    }
    bool Idle() {
        return testing::RunUntil([&] { return configs_->Running() == 0; }, 10);
    }
    // The SDK calls run on the pool: waits until `count` downloads were asked for.
    bool DownloadsAsked(std::size_t count) {
        return testing::RunUntil(
            [&] {
                std::lock_guard lock(mutex_);
                return downloads_.size() >= count;
            },
            10);
    }
    QString State(int row) const { return model_.CellText(row, kColumnState); }
    QString ConfigFile() {
        const QString path = dir_.filePath("camera.xml");
        EXPECT_TRUE(Write(path, kConfig));
        return path;
    }
    std::vector<std::string> UploadedPaths() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> paths;
        for (const Upload& u : uploads_)
            paths.push_back(u.path);
        return paths;
    }

    struct Call {
        int handle;
        std::string path;
    };
    struct Upload {
        int handle;
        std::string path;
        std::string bytes;
    };
    QTemporaryDir dir_;
    DeviceListModel model_;
    AnswerRouter router_;
    WorkerPool pool_{2};
    std::unique_ptr<ConfigTransfer> configs_;
    std::vector<int> rows_;
    std::vector<Call> downloads_;
    std::mutex mutex_;
    std::vector<Upload> uploads_;
    std::atomic<int> downloadResult_{0};
    std::atomic<int> uploadResult_{0};
};

TEST(ConfigFileNames, NamesFromTheNetworkStayInTheirFolder) {
    const struct {
        const char* serial;
        const char* ip;
        const char* name;
    } cases[] = {
        {"NV123.A-b_9", "192.168.1.20", "config_NV123.A-b_9_192.168.1.20.xml"},
        {"../../etc/x", "192.168.1.20", "config_.._.._etc_x_192.168.1.20.xml"},
        {"..", "10.0.0.1", "config____10.0.0.1.xml"},
        {".", "10.0.0.1", "config___10.0.0.1.xml"},
        {"", "10.0.0.1", "config___10.0.0.1.xml"},
        {"a\\b:c*?\"<>|", "10.0.0.1", "config_a_b_c_______10.0.0.1.xml"},
        {"S1", "../../x", "config_S1_.._.._x.xml"},
        {"S1", "1.2.3.4/x", "config_S1_1.2.3.4_x.xml"},
        {"S1", "300.1.1.1", "config_S1_300.1.1.1.xml"},
        {"序列", "1.2.3.4", "config________1.2.3.4.xml"},
    };
    for (const auto& c : cases) {
        const QString name = ConfigFileName(QString::fromUtf8(c.serial), QString::fromUtf8(c.ip));
        EXPECT_EQ(name, c.name) << c.serial << " " << c.ip;
        EXPECT_FALSE(name.contains('/') || name.contains('\\')) << c.serial;
    }
}

// Only the download this operation asked for, on that login handle, is printed again; a file
// that is not XML stays as it came; a failure ends the job.
TEST_F(ConfigTransferTest, DownloadTakesOnlyItsOwnFinishedFile) {
    EXPECT_EQ(configs_->Download(rows_), 2);  // S3 is not logged in: nothing
    ASSERT_TRUE(DownloadsAsked(2));
    ASSERT_EQ(downloads_.size(), 2u);
    std::sort(downloads_.begin(), downloads_.end(),
              [](const Call& a, const Call& b) { return a.handle < b.handle; });
    const QString folder = dir_.filePath("config");
    const std::string first =
        QDir::toNativeSeparators(QDir(folder).filePath("config_S1_127.0.0.1.xml")).toStdString();
    EXPECT_EQ(downloads_[0].handle, 11);
    EXPECT_EQ(downloads_[0].path, first);
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP18"));
    EXPECT_EQ(State(rows_[2]), QString());

    // The camera's file arrives; an event naming it on another handle, or naming another
    // "config_*.xml" file, changes nothing.
    const QString own = QString::fromStdString(first);
    ASSERT_TRUE(Write(own, "<NORVEKConfig><A x=\"1\"><B/></A></NORVEKConfig>"));
    const QString stranger = QDir(folder).filePath("config_other_1.2.3.4.xml");
    ASSERT_TRUE(Write(stranger, "<X><Y/></X>"));
    FileEvent(12, kEventFileDone, first);
    FileEvent(11, kEventFileDone, stranger.toStdString());
    EXPECT_EQ(Read(stranger), "<X><Y/></X>");
    EXPECT_EQ(configs_->Running(), 2);
    FileEvent(11, kEventFileDone, first);
    ASSERT_TRUE(testing::RunUntil(
        [&] { return configs_->Jobs()[0].state != ConfigTransfer::State::kRunning; }, 10));
    EXPECT_EQ(Read(own), "<NORVEKConfig>\n\t<A x=\"1\">\n\t\t<B/>\n\t</A>\n</NORVEKConfig>\n");
    EXPECT_EQ(configs_->Jobs()[0].state, ConfigTransfer::State::kDone);

    // The second camera's file is not XML: kept as received.
    const QString second = QString::fromStdString(downloads_[1].path);
    ASSERT_TRUE(Write(second, "not <xml"));
    FileEvent(12, kEventFileDone, downloads_[1].path);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Read(second), "not <xml");

    // A refused download and a failed one.
    downloadResult_ = QV_ERR_NOT_CONNECTED;
    EXPECT_EQ(configs_->Download({rows_[0]}), 1);
    EXPECT_TRUE(testing::RunUntil([&] { return State(rows_[0]) == Shown("MSGTIP33"); }, 10));
    EXPECT_EQ(configs_->Jobs().back().state, ConfigTransfer::State::kFailed);
    downloadResult_ = 0;
    configs_->Download({rows_[1]});
    ASSERT_TRUE(DownloadsAsked(4));
    FileEvent(12, kEventFileFailed, downloads_.back().path);
    EXPECT_EQ(configs_->Jobs().back().state, ConfigTransfer::State::kFailed);
}

TEST_F(ConfigTransferTest, DownloadWithoutHandleShowsNotConnected) {
    model_.SetLoginHandle(rows_[1], 0);
    EXPECT_EQ(configs_->Download({rows_[1]}), 0);
    pool_.WaitIdle();
    EXPECT_TRUE(downloads_.empty());
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP21"));
}

TEST_F(ConfigTransferTest, UploadSendsTheFileAsItStandsAndShowsFailures) {
    const QString file = dir_.filePath("any.bin");
    ASSERT_TRUE(Write(file, "not even XML"));
    EXPECT_EQ(configs_->Upload(rows_, file), 2);
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP32"));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(UploadedPaths(), (std::vector<std::string>{file.toStdString(), file.toStdString()}));
    EXPECT_EQ(configs_->Jobs()[0].state, ConfigTransfer::State::kDone);

    uploadResult_ = QV_ERR_REFUSED;
    configs_->Upload({rows_[1]}, file);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(configs_->Jobs().back().state, ConfigTransfer::State::kFailed);
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP31"));

    model_.SetLoginHandle(rows_[0], -1);
    EXPECT_EQ(configs_->Upload({rows_[0]}, file), 0);
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP20"));
}

// The default goes to every logged-in camera once chosen, each in a folder of its own that is
// gone after its upload; a confirmed camera gets it no more until a new choice.
TEST_F(ConfigTransferTest, DefaultConfigurationFollowsConfirmationsAndNewChoices) {
    const QString broken = dir_.filePath("config_broken.xml");
    ASSERT_TRUE(Write(broken, "<NORVEKConfig><RecordConfig/></NORVEKConfig>"));
    EXPECT_FALSE(configs_->ChooseDefault(broken));
    EXPECT_TRUE(configs_->DefaultPath().isEmpty());
    EXPECT_FALSE(configs_->PushDefault(rows_[0]));

    const QString source = ConfigFile();
    ASSERT_TRUE(configs_->ChooseDefault(source));
    ASSERT_TRUE(Idle());
    {
        std::lock_guard lock(mutex_);
        ASSERT_EQ(uploads_.size(), 2u);  // S3 is not logged in
        for (const Upload& u : uploads_) {
            EXPECT_TRUE(QString::fromStdString(u.path).endsWith("/config.defaut.xml"));
            EXPECT_NE(u.bytes.find("SET_OEM_DEFAULT_CONFIG=\"1\""), std::string::npos);
            EXPECT_TRUE(CheckConfigText(u.bytes));
            // Removed when its upload ended.
            EXPECT_FALSE(QFile::exists(QString::fromStdString(u.path)));
        }
        EXPECT_NE(uploads_[0].path, uploads_[1].path);
    }
    EXPECT_EQ(configs_->DefaultState("S1"), ConfigTransfer::kDefaultSent);
    EXPECT_EQ(configs_->DefaultState("S3"), 0);

    // S1 confirms. The end of a firmware upgrade on S2 confirms nothing.
    Event(11, kEventUpgradeDone, "<RESPONSE_PARAM LocalFileName=\"config.defaut.xml\" />");
    Event(12, kEventUpgradeDone, "<Upgrade Version=\"V2\" />");
    EXPECT_EQ(configs_->DefaultState("S1"), ConfigTransfer::kDefaultConfirmed);
    EXPECT_EQ(configs_->DefaultState("S2"), ConfigTransfer::kDefaultSent);

    // A new login: S1 confirmed gets nothing, S2 gets it again.
    EXPECT_FALSE(configs_->PushDefault(rows_[0]));
    EXPECT_TRUE(configs_->PushDefault(rows_[1]));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(UploadedPaths().size(), 3u);

    // The source file went bad meanwhile: nothing is sent.
    ASSERT_TRUE(Write(source, "<broken"));
    EXPECT_FALSE(configs_->PushDefault(rows_[1]));

    // A new choice sends it to every camera again, also the confirmed one.
    ASSERT_TRUE(configs_->ChooseDefault(ConfigFile()));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(UploadedPaths().size(), 5u);
    EXPECT_EQ(configs_->DefaultState("S1"), ConfigTransfer::kDefaultSent);
}

}  // namespace
}  // namespace camfleet
