// camfleet-sim make-firmware run as a program; its images are read back with the checker.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

#include "sim/firmware_image.h"

#include "sim/sim_program.h"

namespace camfleet::sim {
namespace {

// Reads the file in odd-sized chunks, as a camera receives a transfer.
FirmwareImageVerdict CheckFile(const QString& path, const std::string& cameraModel) {
    FirmwareImageChecker checker(cameraModel);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    for (QByteArray chunk; !(chunk = file.read(4093)).isEmpty();)
        checker.Feed(std::span(reinterpret_cast<const uint8_t*>(chunk.constData()),
                               static_cast<std::size_t>(chunk.size())));
    return checker.Finish();
}

class MakeFirmwareTest : public testing::Test {
protected:
    QString Output() const { return scratch_.filePath("lab.bin"); }
    QTemporaryDir scratch_;
};

TEST_F(MakeFirmwareTest, WritesAnImageTheCheckerAccepts) {
    const struct {
        const char* name;
        QStringList sizeArguments;
        uint64_t payloadSize;
    } cases[] = {
        {"given size", {"--size", "70001"}, 70001},
        {"default size", {}, uint64_t{1} << 20},
        {"empty payload", {"--size", "0"}, 0},
    };
    for (const auto& c : cases) {
        QFile::remove(Output());
        const SimRun run =
            RunSim(QStringList{"make-firmware", "--model", "IPC-X*", "--version", "V3.0.1"} +
                   c.sizeArguments + QStringList{"-o", Output()});
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << c.name;
        const FirmwareImageVerdict verdict = CheckFile(Output(), "IPC-X9");
        EXPECT_EQ(verdict.fault, FirmwareImageFault::kNone)
            << c.name << ": " << FirmwareImageFaultName(verdict.fault);
        EXPECT_EQ(verdict.version, "V3.0.1") << c.name;
        EXPECT_EQ(verdict.payloadSize, c.payloadSize) << c.name;
        EXPECT_EQ(CheckFile(Output(), "IPC-Y9").fault, FirmwareImageFault::kModelMismatch);
    }
}

TEST_F(MakeFirmwareTest, BadArgumentsAreRefusedWithExitStatus2) {
    const struct {
        const char* name;
        QStringList arguments;
        const char* said;  // words of the message on standard error
    } cases[] = {
        {"no model", {"--version", "1", "-o", "OUT"}, "required"},
        {"size not a number",
         {"--model", "M", "--version", "1", "--size", "12k", "-o", "OUT"},
         "--size"},
        {"size above 1 GiB",
         {"--model", "M", "--version", "1", "--size", "1073741825", "-o", "OUT"},
         "--size"},
        {"unknown option",
         {"--model", "M", "--version", "1", "--colour", "red", "-o", "OUT"},
         "--colour"},
        {"option without its value", {"--version", "1", "-o", "OUT", "--model"}, "--model"},
        {"version not ASCII",
         {"--model", "M", "--version", "v\xC3\xA9", "-o", "OUT"},
         "printable ASCII"},
    };
    for (const auto& c : cases) {
        QStringList arguments = c.arguments;
        arguments.replaceInStrings("OUT", Output());
        const SimRun run = RunSim(QStringList{"make-firmware"} + arguments);
        EXPECT_EQ(run.exitCode, 2) << c.name;
        EXPECT_TRUE(run.err.contains("camfleet-sim make-firmware: ")) << c.name;
        EXPECT_TRUE(run.err.contains(c.said)) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("usage: camfleet-sim make-firmware")) << c.name;
        EXPECT_FALSE(QFile::exists(Output())) << c.name;
    }
}

TEST_F(MakeFirmwareTest, AFileThatCannotBeWrittenEndsWithExitStatus1) {
    const QString path = scratch_.filePath("absent/lab.bin");
    const SimRun run =
        RunSim({"make-firmware", "--model", "M", "--version", "1", "--size", "10", "-o", path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(path)) << run.err.toStdString();
}

TEST_F(MakeFirmwareTest, HelpListsTheCommandAndItsOptions) {
    for (const QStringList& arguments : {QStringList{"--help"}, {"make-firmware", "--help"}}) {
        const SimRun run = RunSim(arguments);
        EXPECT_EQ(run.exitCode, 0);
        for (const char* text : {"camfleet-sim make-firmware --model M --version V", "--model M",
                                 "--version V", "--size BYTES", "-o FILE", "--lab N"})
            EXPECT_TRUE(run.out.contains(text)) << text;
    }
}

}  // namespace
}  // namespace camfleet::sim
