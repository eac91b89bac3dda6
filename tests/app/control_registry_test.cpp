// The control registry with ids that name a window control and a menu item at once: the
// display switches and the control-text table reach the control, never the menu item.

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/control_registry.h"
#include "app/system_menu.h"
#include "device/codes.h"
#include "resources/display_strings.h"
#include "resources/display_switches.h"
#include "tests/app/window_fixture.h"
#include "widgets/display_text.h"

namespace camfleet {

class ControlRegistryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch_;

    // A display.xml with one element, or no file at all for an empty `element`.
    std::string DisplayFile(const char* element) {
        const QString path = scratch_.filePath("display.xml");
        QFile::remove(path);
        if (*element != '\0') {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                qFatal("display.xml not written");
            file.write(QByteArray("<root>") + element + "</root>");
        }
        return path.toStdString();
    }

private slots:
    void sharedIdKeepsControlAndMenuItemApart_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("menuKey");     // the menu item's own caption key
        QTest::addColumn<QString>("controlKey");  // the control-text table's key for the id
        QTest::addColumn<QString>("element");     // display.xml content
        QTest::addColumn<bool>("controlShown");
        QTest::newRow("about item and factory-mode button, switch default")
            << int(kIdBatchModeFactory) << "IDS_ABOUTBOX"
            << "FACTORY_MODE"
            << "" << false;
        QTest::newRow("about item and factory-mode button, switch on")
            << int(kIdBatchModeFactory) << "IDS_ABOUTBOX"
            << "FACTORY_MODE"
            << "<ID_BATCH_MODE_FACTORY display=\"1\"/>" << true;
        QTest::newRow("audio capture item and button, switch default")
            << int(kIdBatchSetAudioCapture) << "ENABLE"
            << "IDS_STR_ZH_CN_MEDIA_AENCODE"
            << "" << false;
        QTest::newRow("video encoding item and button, switch off")
            << int(kIdBatchSetVideoEncode) << "ENABLE"
            << "ID_BATCH_SET_VIDEOENCODE"
            << "<ID_BATCH_SET_VIDEOENCODE display=\"0\"/>" << false;
        QTest::newRow("video encoding item and button, switch on")
            << int(kIdBatchSetVideoEncode) << "ENABLE"
            << "ID_BATCH_SET_VIDEOENCODE"
            << "<ID_BATCH_SET_VIDEOENCODE display=\"1\"/>" << true;
    }

    void sharedIdKeepsControlAndMenuItemApart() {
        QFETCH(int, id);
        QFETCH(QString, menuKey);
        QFETCH(QString, controlKey);
        QFETCH(QString, element);
        QFETCH(bool, controlShown);
        const QByteArray menuKeyText = menuKey.toLatin1();

        QWidget window;
        auto* button = new QPushButton(&window);
        auto* bar = new QMenuBar(&window);
        QMenu* menu = bar->addMenu(QString());
        menu->addSeparator();
        QAction* item = AddKeyedAction(menu->addMenu(QString()), menuKeyText.constData(), id);
        ControlRegistry registry;
        registry.Add(id, button);
        registry.AddMenu(bar);
        QCOMPARE(registry.Find(id), static_cast<QWidget*>(button));
        QCOMPARE(registry.FindMenuItem(id), item);
        QCOMPARE(registry.FindMenuItem(id + 1), static_cast<QAction*>(nullptr));
        window.show();

        CLoadDisplayCfg switches;
        switches.Load(DisplayFile(element.toLatin1().constData()));
        registry.ApplyDisplaySwitches(switches);
        QCOMPARE(!button->isHidden(), controlShown);
        QVERIFY(item->isVisible());

        // After a language switch as at start-up: the table labels the button, the item keeps
        // the caption of its own key.
        registry.RetranslateUi(&window);
        QCOMPARE(button->text(), GetDisplayString(controlKey.toLatin1().constData()));
        QCOMPARE(item->text(), GetDisplayString(menuKeyText.constData()));
        QVERIFY(button->text() != item->text());
        QVERIFY(item->isVisible());
    }

    // In the window, the system menu's about item is reached through the registry and stays
    // on the menu while the factory-mode switch is off.
    void windowKeepsTheAboutItemWithTheFactorySwitchOff() {
        RecordingPrompt prompt;
        WindowOptions options = LabWindowOptions(FreeUdpPort(), &prompt);
        options.displayConfigPath = DisplayFile("<ID_BATCH_MODE_FACTORY display=\"0\"/>");
        CRoRudAzovorErarDlg window(options);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAction* about = window.Controls().FindMenuItem(kIdAbout);
        QVERIFY(about != nullptr);
        QCOMPARE(about, window.Menu()->Action(kIdAbout));
        QVERIFY(about->isVisible());
        QCOMPARE(about->text(), GetDisplayString("IDS_ABOUTBOX"));
        // Context and batch menu items are found the same way.
        QVERIFY(window.Controls().FindMenuItem(kIdCopySerial) != nullptr);
        QVERIFY(window.Controls().FindMenuItem(kIdDhcp) != nullptr);
        prompt.messages.clear();
        about->trigger();
        QCOMPARE(prompt.messages.size(), size_t(1));
        QCOMPARE(prompt.messages.front().caption, GetDisplayString("ABOUT_CAPTION"));
    }
};

}  // namespace camfleet

QObject* NewControlRegistryTest() {
    return new camfleet::ControlRegistryTest;
}

#include "control_registry_test.moc"
