// Runs every window test class with one QApplication. Settings and the language value go
// to a scratch folder of this run.

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "platform/paths.h"

QObject* NewWindowSearchTest();
QObject* NewWindowListTest();
QObject* NewWindowControlsTest();
QObject* NewWindowIpTest();
QObject* NewWindowLanguageTest();
QObject* NewControlRegistryTest();
QObject* NewWindowUpgradeTest();
QObject* NewWindowMaintenanceTest();
QObject* NewWindowConfigTest();

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    qputenv("CAMFLEET_DOCUMENTS_DIR", scratch.filePath("documents").toUtf8());
    qputenv("CAMFLEET_REGISTRY_FILE", scratch.filePath("registry.ini").toUtf8());
    qputenv("CAMFLEET_DEBUG_CFG", scratch.filePath("no-debug.cfg").toUtf8());
    QApplication app(argc, argv);
    int failed = 0;
    for (QObject* test :
         {NewWindowSearchTest(), NewWindowListTest(), NewWindowControlsTest(), NewWindowIpTest(),
          NewWindowLanguageTest(), NewControlRegistryTest(), NewWindowUpgradeTest(),
          NewWindowMaintenanceTest(), NewWindowConfigTest()}) {
        failed += QTest::qExec(test, argc, argv) != 0;
        delete test;
    }
    return failed;
}
