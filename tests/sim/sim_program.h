#pragma once
// Runs the camfleet-sim program with arguments and collects its exit code and output, for the
// tests of its command line.

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

namespace camfleet::sim {

struct SimRun {
    int exitCode = -1;  // -1 when it did not end normally
    QString out;
    QString err;
};

inline SimRun RunSim(const QStringList& arguments) {
    QProcess sim;
    sim.start(CAMFLEET_BIN_DIR "/camfleet-sim", arguments);
    EXPECT_TRUE(sim.waitForFinished(60000));
    return {sim.exitStatus() == QProcess::NormalExit ? sim.exitCode() : -1,
            QString::fromUtf8(sim.readAllStandardOutput()),
            QString::fromUtf8(sim.readAllStandardError())};
}

}  // namespace camfleet::sim
