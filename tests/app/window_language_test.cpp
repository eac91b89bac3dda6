// The language switch at run time over a listed lab: every text the window shows (title,
// buttons, labels, group titles, the list header and the list's cells made of display
// strings, the menu bar, the context and batch menus, tooltips, and the dialogs the window
// holds) changes to the new language; a window opened in a language shows no text of
// another; a failed switch changes nothing; the about box shows the version.

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSet>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/system_menu.h"
#include "app/version_text.h"
#include "app/window_prompt.h"
#include "device/codes.h"
#include "dialogs/dialog_default_user.h"
#include "dialogs/dialog_ip_setting.h"
#include "operations/ip_fakes.h"
#include "platform/paths.h"
#include "resources/display_strings.h"
#include "resources/language_setting.h"
#include "tests/app/window_fixture.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

namespace {

constexpr int kItemSimplifiedChinese = kIdLanguageZhCn;
constexpr int kItemTraditionalChinese = kIdLanguageZhTw;
constexpr int kItemEnglish = kIdLanguageEnglish;
constexpr int kItemRussian = kIdLanguageRussian;

// Every address is free.
class FreeProbe : public AddressProbe {
public:
    int Probe(uint32_t) override { return kProbeUnused; }
};

// Every text of the strings file of `code`.
QSet<QString> FileTexts(const std::string& code) {
    const DisplayStrings table = DisplayStrings::Load(ProgramDirectory(), code);
    QSet<QString> texts;
    for (const std::string& key : table.Keys())
        texts.insert(table.Lookup(key));
    return texts;
}

// Words rather than data: a text with a letter in it (addresses and numbers have none).
bool IsWording(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

bool HasHan(const QString& text) {
    for (QChar c : text) {
        if (c.script() == QChar::Script_Han)
            return true;
    }
    return false;
}

// The list's columns whose cells are display strings (the others are the cameras' data).
constexpr int kWordedColumns[] = {kColumnState, kColumnAllNet, kColumnRunningTime, kColumnCloud};

// Every text a user can read in `root` and below, keyed by the place that shows it. Netcard
// lines after the first are adapters (data) and left out.
QMap<QString, QString> ShownTexts(QWidget* root) {
    QMap<QString, QString> texts;
    const auto add = [&texts](const QObject* object, const QString& what, const QString& text) {
        const QString place = QString::asprintf("%s %p ", object->metaObject()->className(),
                                                static_cast<const void*>(object)) +
                              what;
        texts.insert(place, text);
    };
    QList<QObject*> objects = root->findChildren<QObject*>();
    objects.prepend(root);
    for (QObject* object : objects) {
        if (auto* widget = qobject_cast<QWidget*>(object)) {
            add(widget, "tooltip", widget->toolTip());
            if (widget->isWindow())
                add(widget, "window title", widget->windowTitle());
        }
        if (auto* button = qobject_cast<QAbstractButton*>(object)) {
            add(button, "text", button->text());
        } else if (auto* label = qobject_cast<QLabel*>(object)) {
            add(label, "text", label->text());
        } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
            add(group, "title", group->title());
        } else if (auto* edit = qobject_cast<QLineEdit*>(object)) {
            add(edit, "placeholder", edit->placeholderText());
        } else if (auto* menu = qobject_cast<QMenu*>(object)) {
            add(menu, "title", menu->title());
        } else if (auto* action = qobject_cast<QAction*>(object)) {
            add(action, "text", action->text());
            add(action, "tooltip", action->toolTip());
        } else if (auto* box = qobject_cast<QComboBox*>(object)) {
            if (box->count() > 0)
                add(box, "first line", box->itemText(0));
        } else if (auto* table = qobject_cast<QTableView*>(object)) {
            const QAbstractItemModel* model = table->model();
            for (int column = 0; column < model->columnCount(); ++column)
                add(table, QString::asprintf("header %d", column),
                    model->headerData(column, Qt::Horizontal).toString());
            for (int row = 0; row < model->rowCount(); ++row) {
                for (int column : kWordedColumns)
                    add(table, QString::asprintf("cell %d,%d", row, column),
                        model->index(row, column).data().toString());
            }
        }
    }
    return texts;
}

}  // namespace

class WindowLanguageTest : public QObject {
    Q_OBJECT

private:
    static constexpr int kCameras = 3;
    std::unique_ptr<sim::SimLab> lab_;
    uint16_t port_ = 0;
    RecordingPrompt prompt_;
    KeyPrompt keys_{prompt_};
    AddressChecks checks_{std::make_shared<FreeProbe>(),
                          std::make_shared<testing::FakeNeighbours>()};
    std::unique_ptr<CRoRudAzovorErarDlg> window_;
    QTemporaryDir scratch_;

    static void UseLanguage(const char* code) {
        QCOMPARE(SetLanguage(code), 0);
        DisplayStrings::ReloadInstance();
    }

    // The dialogs the window opens, held by `window` as they are while open; the IP dialog
    // after a conflict check, so that its result line shows a text too.
    void OpenDialogs(CRoRudAzovorErarDlg& window) {
        NetworkSettings values{false, "10.0.0.10", "255.255.255.0", "10.0.0.1", "", ""};
        auto* ip = new CDialogIpSetting(values, true, 2, checks_, keys_, &window);
        QSignalSpy checked(ip, &CDialogIpSetting::checkFinished);
        ip->StartCheck();
        QVERIFY(checked.wait(10000));
        QVERIFY(!ip->CheckLabel()->text().isEmpty());
        new CDialogDefaultUser(window.Settings(), &window);
    }

    // Switches with the window's own menu item, as the operator does.
    void Switch(int item) {
        prompt_.messages.clear();
        window_->Menu()->Action(item)->trigger();
        QCOMPARE(prompt_.messages.size(), size_t(1));
    }

private slots:
    void initTestCase() {
        UseLanguage("en-us");
        lab_ = StartLab(kCameras, &port_);
        window_ = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port_, &prompt_));
        window_->show();
        StartUsersSearch(*window_);
        QVERIFY(DriveSearch(*window_, [&] { return AllListedAndLoggedIn(*window_, kCameras); }));
        OpenDialogs(*window_);
    }

    void cleanupTestCase() {
        window_.reset();
        lab_.reset();
        UseLanguage("en-us");
    }

    void everyShownTextFollowsTheSwitch_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("language");
        QTest::newRow("English to Simplified Chinese") << kItemSimplifiedChinese << "zh-cn";
        QTest::newRow("to Traditional Chinese") << kItemTraditionalChinese << "zh-tw";
        QTest::newRow("to Russian") << kItemRussian << "Russian";
        QTest::newRow("back to English") << kItemEnglish << "en-us";
    }

    void everyShownTextFollowsTheSwitch() {
        QFETCH(int, item);
        QFETCH(QString, language);
        const QMap<QString, QString> before = ShownTexts(window_.get());
        Switch(item);
        QCOMPARE(QString::fromStdString(DisplayStrings::Instance().LanguageCode()), language);

        // A place may keep its text only when the new language has the same words ("DHCP").
        const QSet<QString> newTexts = FileTexts(language.toStdString());
        const QMap<QString, QString> after = ShownTexts(window_.get());
        QStringList kept;
        int compared = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!IsWording(it.value()) || newTexts.contains(it.value()))
                continue;
            ++compared;
            if (after.value(it.key()) == it.value())
                kept << it.key() + ": \"" + it.value() + '"';
        }
        QVERIFY2(kept.isEmpty(), qPrintable("still in the old language:\n" + kept.join('\n')));
        QVERIFY2(compared > 50, "the walk found the window's texts");

        QCOMPARE(window_->windowTitle(), WindowTitle());
        QCOMPARE(window_->Search()->StartStopButton()->text(),
                 GetDisplayString(window_->Search()->IsSearching() ? "STOPSEARCH" : "STARTSEARCH"));
        QCOMPARE(window_->List()->model()->headerData(kColumnSerial, Qt::Horizontal).toString(),
                 GetDisplayString("SN"));
        QCOMPARE(window_->Model().CellText(0, kColumnState), GetDisplayString("MSGTIP1"));
        QCOMPARE(prompt_.messages.back().caption, GetDisplayString("Tips"));
    }

    void aWindowOpenedInChineseShowsNoOtherLanguage() {
        Switch(kItemSimplifiedChinese);
        prompt_.messages.clear();
        CRoRudAzovorErarDlg window(LabWindowOptions(FreeUdpPort(), &prompt_));
        OpenDialogs(window);
        const QSet<QString> chinese = FileTexts("zh-cn");
        QStringList foreign;
        const QMap<QString, QString> shown = ShownTexts(&window);
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            if (IsWording(it.value()) && !HasHan(it.value()) && !chinese.contains(it.value()))
                foreign << it.key() + ": \"" + it.value() + '"';
        }
        Switch(kItemEnglish);
        QVERIFY2(foreign.isEmpty(), qPrintable("not in Chinese:\n" + foreign.join('\n')));
    }

    void failedSwitchKeepsTheLanguage() {
        const QString title = window_->windowTitle();
        const QString language = QString::fromStdString(DisplayStrings::Instance().LanguageCode());
        const QByteArray saved = qgetenv(kRegistryFileEnvironment);
        QFile blocker(scratch_.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv(kRegistryFileEnvironment, blocker.fileName().toUtf8() + "/registry.ini");
        Switch(kItemSimplifiedChinese);
        qputenv(kRegistryFileEnvironment, saved);
        QVERIFY(prompt_.messages.back().icon == PromptIcon::kError);
        QCOMPARE(QString::fromStdString(DisplayStrings::Instance().LanguageCode()), language);
        QCOMPARE(window_->windowTitle(), title);
    }

    void aboutBoxShowsTheVersionInTheCurrentLanguage() {
        QStringList captions;
        for (int item : {kItemEnglish, kItemSimplifiedChinese}) {
            Switch(item);
            prompt_.messages.clear();
            window_->Menu()->Action(kIdAbout)->trigger();
            QCOMPARE(prompt_.messages.size(), size_t(1));
            const RecordingPrompt::Message& box = prompt_.messages.front();
            QVERIFY2(box.text.contains(VersionText()), qPrintable(box.text));
            QVERIFY(box.text.contains(GetDisplayString("TITLE")));
            QVERIFY(!GetDisplayString("ABOUT_CAPTION").isEmpty());
            QCOMPARE(box.caption, GetDisplayString("ABOUT_CAPTION"));
            captions << box.caption;
        }
        QVERIFY(captions[0] != captions[1]);
        Switch(kItemEnglish);
    }
};

}  // namespace camfleet

QObject* NewWindowLanguageTest() {
    return new camfleet::WindowLanguageTest;
}

#include "window_language_test.moc"
