// The window's own controls without cameras: keys, dropped files, stored settings, display
// switches, the language switch, the default user dialog, title and maximising.

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "app/account_controls.h"
#include "app/option_boxes.h"
#include "app/path_controls.h"
#include "app/system_menu.h"
#include "app/version_text.h"
#include "device/codes.h"
#include "dialogs/dialog_default_user.h"
#include "resources/display_strings.h"
#include "resources/language_setting.h"
#include "tests/app/window_fixture.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

class WindowControlsTest : public QObject {
    Q_OBJECT

private:
    RecordingPrompt prompt_;
    QTemporaryDir scratch_;

    std::unique_ptr<CRoRudAzovorErarDlg> NewWindow(const std::string& displayConfig = {}) {
        WindowOptions options = LabWindowOptions(FreeUdpPort(), &prompt_);
        options.displayConfigPath = displayConfig;
        return std::make_unique<CRoRudAzovorErarDlg>(options);
    }

    // Drops local files on the window as a file manager would.
    static void Drop(QWidget* window, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPointF at(window->width() / 2, window->height() / 2);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
    }

private slots:
    // A test that switched the language leaves English behind for the next one.
    void cleanup() {
        if (DisplayStrings::Instance().LanguageCode() != kDefaultLanguageCode) {
            QCOMPARE(SetLanguage(kDefaultLanguageCode), 0);
            DisplayStrings::ReloadInstance();
        }
    }

    void enterAndEscapeDoNothing_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void enterAndEscapeDoNothing() {
        QFETCH(int, key);
        auto window = NewWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const bool searching = window->Search()->IsSearching();
        for (QWidget* target :
             {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(window->List()),
              static_cast<QWidget*>(window->Search()->StartStopButton()),
              static_cast<QWidget*>(window->Account()->User())}) {
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key));
            QVERIFY(window->isVisible());
            QCOMPARE(window->Search()->IsSearching(), searching);
        }
        // A dialog of the window keeps its keys.
        CDialogDefaultUser dialog(window->Settings(), window.get());
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key(key));
        QVERIFY(!dialog.isVisible());
    }

    void droppedFiles_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("edit");  // control id that receives the first name, 0: none
        QTest::newRow("folder") << QStringList{"firmware"} << int(kIdUpgradeDirectory);
        QTest::newRow(".bin file") << QStringList{"fw.bin"} << int(kIdUpgradeFile);
        QTest::newRow(".BIN file is ignored") << QStringList{"FW.BIN"} << 0;
        QTest::newRow(".xml file") << QStringList{"config_1.xml"} << int(kIdConfigFile);
        QTest::newRow("other file is ignored") << QStringList{"notes.txt"} << 0;
        QTest::newRow("only the first file counts") << QStringList{"notes.txt", "fw.bin"} << 0;
    }

    void droppedFiles() {
        QFETCH(QStringList, names);
        QFETCH(int, edit);
        QDir dir(scratch_.path());
        dir.mkpath("firmware");
        QStringList paths;
        for (const QString& name : names) {
            if (name != "firmware") {
                QFile file(dir.filePath(name));
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
            paths << dir.filePath(name);
        }
        auto window = NewWindow();
        const int edits[] = {kIdUpgradeFile, kIdConfigFile, kIdUpgradeDirectory};
        QMap<int, QString> before;
        for (int id : edits)
            before[id] = qobject_cast<QLineEdit*>(window->Controls().Find(id))->text();
        Drop(window.get(), paths);
        for (int id : edits) {
            const QString text = qobject_cast<QLineEdit*>(window->Controls().Find(id))->text();
            QCOMPARE(text, id == edit ? paths.first() : before[id]);
        }
    }

    void settingsAreStoredWhenTheControlsChange() {
        auto window = NewWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const auto stored = [] { return LoadedSettings(); };

        QLineEdit* user = window->Account()->User();
        user->clear();
        QTest::keyClicks(user, "op");
        QCOMPARE(stored().defaultUser, QString("op"));
        QTest::keyClicks(window->Account()->Password(), "x");
        QCOMPARE(stored().defaultPassword, window->Account()->Password()->text());

        QLineEdit* file = window->Paths()->FirmwareFile();
        file->setFocus();
        file->setText("/tmp/a.bin");
        QCOMPARE(stored().upgradeFile, window->Settings().upgradeFile);  // not before focus loss
        QVERIFY(stored().upgradeFile != QString("/tmp/a.bin"));
        window->Paths()->UpgradeDirectory()->setFocus();
        QTRY_COMPARE(stored().upgradeFile, QString("/tmp/a.bin"));
        window->Paths()->UpgradeDirectory()->setText("/tmp/fw");
        user->setFocus();
        QTRY_COMPARE(stored().upgradeDirectory, QString("/tmp/fw"));

        const bool audio = window->Options()->Audio()->isChecked();
        QTest::mouseClick(window->Options()->Audio(), Qt::LeftButton);
        QCOMPARE(stored().openAudio, audio ? 0 : 1);
        const bool fullScreen = window->Options()->FullScreenStream()->isChecked();
        QTest::mouseClick(window->Options()->FullScreenStream(), Qt::LeftButton);
        QCOMPARE(stored().fullScreenStreamSwitch, fullScreen ? 0 : 1);
        const bool qr = window->Options()->Qr()->isChecked();
        QTest::mouseClick(window->Options()->Qr(), Qt::LeftButton);
        QCOMPARE(stored().qrShown, qr ? 0 : 1);

        // A new window shows what was stored.
        auto next = NewWindow();
        QCOMPARE(next->Account()->User()->text(), QString("op"));
        QCOMPARE(next->Paths()->UpgradeDirectory()->text(), QString("/tmp/fw"));
        QCOMPARE(next->Options()->Audio()->isChecked(), !audio);
    }

    void displaySwitchesHideAndShowControls() {
        const QString path = scratch_.filePath("display.xml");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(
            "<root><IDC_EDIT_FILE display=\"0\"/><IDC_CHECK_PRINTMODE display=\"2\"/>"
            "<STYLE display=\"1\"/></root>");
        file.close();
        auto switched = NewWindow(path.toStdString());
        auto plain = NewWindow(std::string("/nonexistent/display.xml"));
        QVERIFY(switched->Paths()->FirmwareFile()->isHidden());
        QVERIFY(switched->Paths()->FirmwareFileLabel()->isHidden());
        QVERIFY(!switched->Options()->PrintMode()->isHidden());
        QVERIFY(!plain->Paths()->FirmwareFile()->isHidden());
        QVERIFY2(plain->Options()->PrintMode()->isHidden(), "print mode is off by default");
        // STYLE: the preview column is shown and the netcard column hidden.
        QVERIFY(!switched->List()->isColumnHidden(kColumnPreview));
        QVERIFY(switched->List()->isColumnHidden(kColumnNetcard));
        QVERIFY(plain->List()->isColumnHidden(kColumnPreview));
        QVERIFY(!plain->List()->isColumnHidden(kColumnNetcard));
    }

    void languageSwitchStoresTheValueAndTellsTheOperator_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("writable");
        QTest::newRow("Simplified Chinese") << int(kIdLanguageZhCn) << "zh-cn" << true;
        QTest::newRow("English writes en-us") << int(kIdLanguageEnglish) << "en-us" << true;
        QTest::newRow("Mongolian") << int(kIdLanguageMongolian) << "Mongolian" << true;
        QTest::newRow("storage not writable") << int(kIdLanguageKoKo) << "" << false;
    }

    void languageSwitchStoresTheValueAndTellsTheOperator() {
        QFETCH(int, item);
        QFETCH(QString, language);
        QFETCH(bool, writable);
        const QByteArray saved = qgetenv(kRegistryFileEnvironment);
        QFile blocker(scratch_.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        if (!writable)
            qputenv(kRegistryFileEnvironment, blocker.fileName().toUtf8() + "/registry.ini");
        auto window = NewWindow();
        prompt_.messages.clear();
        window->Menu()->Action(item)->trigger();
        qputenv(kRegistryFileEnvironment, saved);

        QCOMPARE(prompt_.messages.size(), size_t(1));
        const RecordingPrompt::Message& box = prompt_.messages.front();
        const QString prefix = GetDisplayString("SWITCHLANGUAGE") + " ";
        if (writable) {
            QCOMPARE(QString::fromStdString(GetLanguage()), language);
            QCOMPARE(box.caption, GetDisplayString("Tips"));
            QCOMPARE(box.text, prefix + GetDisplayString("STRING_SUCCESS") + ".\r\n" +
                                   GetDisplayString("LANGAGE_SWITCH_TIPS2"));
            QVERIFY(box.icon == PromptIcon::kInformation);
        } else {
            QCOMPARE(box.caption, GetDisplayString("ERROR"));
            QCOMPARE(box.text, prefix + GetDisplayString("STRING_FAILED") + "\r\n" +
                                   GetDisplayString("LANGAGE_SWITCH_TIPS1"));
            QVERIFY(box.icon == PromptIcon::kError);
        }
        QCOMPARE(window->windowTitle(), WindowTitle());  // in the language now in use
    }

    void defaultUserDialogStoresANonEmptyUser() {
        CSaveParam settings;
        settings.defaultUser = "admin";
        settings.defaultPassword = "730418";
        CDialogDefaultUser dialog(settings);
        QCOMPARE(dialog.UserEdit()->text(), QString("admin"));
        dialog.UserEdit()->clear();
        dialog.PasswordEdit()->setText("new");
        QVERIFY(!dialog.Store());
        QCOMPARE(settings.defaultPassword, QString("730418"));
        dialog.UserEdit()->setText("installer");
        QVERIFY(dialog.Store());
        QCOMPARE(LoadedSettings().defaultUser, QString("installer"));
        QCOMPARE(LoadedSettings().defaultPassword, QString("new"));
    }

    void keyPromptShowsDisplayTexts() {
        RecordingPrompt window;
        KeyPrompt prompt(window);
        prompt.ShowMessage("MSGTIP13", "ERROR", PromptIcon::kError);
        QVERIFY(!prompt.AskYesNo("TEXT21", "TEXT21"));
        QCOMPARE(window.messages.size(), size_t(2));
        QCOMPARE(window.messages[0].text, GetDisplayString("MSGTIP13"));
        QCOMPARE(window.messages[0].caption, GetDisplayString("ERROR"));
        QVERIFY(window.messages[0].icon == PromptIcon::kError);
        QCOMPARE(window.messages[1].caption, GetDisplayString("TEXT21"));
        QVERIFY(!window.messages[0].text.isEmpty());
    }

    void titleTextsAndMaximising() {
        WindowOptions options = LabWindowOptions(FreeUdpPort(), &prompt_);
        options.maximiseAfterShow = true;
        CRoRudAzovorErarDlg window(options);
        QCOMPARE(window.windowTitle(),
                 GetDisplayString("TITLE") + " V" + QString(CAMFLEET_VERSION));
        QCOMPARE(window.CheckAll()->text(), GetDisplayString("CHECKALL"));
        QCOMPARE(window.Options()->Audio()->text(), GetDisplayString("AUDIO"));
        QCOMPARE(window.Options()->FullScreenStream()->text(), GetDisplayString("TEXT33"));
        QCOMPARE(window.List()->model()->headerData(kColumnSerial, Qt::Horizontal).toString(),
                 GetDisplayString("SN"));
        window.show();
        QVERIFY(!window.isMaximized());
        QTRY_VERIFY(window.isMaximized());
    }
};

}  // namespace camfleet

QObject* NewWindowControlsTest() {
    return new camfleet::WindowControlsTest;
}

#include "window_controls_test.moc"
