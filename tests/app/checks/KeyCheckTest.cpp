// The keyboard check's driver: the watchdog that ends a run that hangs, the one claim that lets
// only the watchdog or the script's end write the report, and the lookups of its checks.
#include "app/checks/KeyCheck.h"
#include "app/checks/CheckModes.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

struct Ending {
    std::atomic<int> cleanUps{0};
    std::atomic<int> exits{0};
    std::atomic<int> status{-1};

    KeyCheck::Stop stop() {
        return {[this] { ++cleanUps; },
                [this](int code) {
                    status = code;
                    ++exits;
                }};
    }
};

QJsonObject readReport(const QString& path) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(readFile(path), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

TEST(KeyCheckTest, AScriptThatHangsIsStoppedWithStatus2AndFinishedInTimeLast) {
    QTemporaryDir folder;
    const QString path = folder.filePath(u"report.json"_s);
    Ending ending;
    {
        KeyCheck run(path, 100ms, ending.stop());
        run.check(u"input: ⌘V right after the shortcut"_s, true, u"Bonjour"_s);
        ASSERT_TRUE(waitUntil([&] { return ending.exits > 0; }, 5000));
        // Too late: the watchdog has the run.
        EXPECT_EQ(run.finish(), std::nullopt);
    }
    EXPECT_EQ(ending.status, 2);
    EXPECT_EQ(ending.cleanUps, 1);
    EXPECT_EQ(ending.exits, 1);
    const QJsonObject report = readReport(path);
    EXPECT_EQ(report.value(u"passed"_s), 0);
    EXPECT_EQ(report.value(u"total"_s), 2);
    const QJsonArray results = report.value(u"results"_s).toArray();
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results.last().toObject(),
              (QJsonObject{{u"check"_s, u"finished in time"_s},
                           {u"ok"_s, false},
                           {u"detail"_s, u"stopped by the watchdog after 0 s"_s}}));
}

TEST(KeyCheckTest, WatchdogAndFinishTogetherGiveOneWholeReport) {
    QTemporaryDir folder;
    int byFinish = 0;
    int byWatchdog = 0;
    for (int round = 0; round < 50; ++round) {
        const QString path = folder.filePath(u"report-%1.json"_s.arg(round));
        Ending ending;
        std::optional<int> finished;
        {
            // Long enough that the three checks are in before it even on a busy machine.
            const auto bound = 50ms;
            KeyCheck run(path, bound, ending.stop());
            for (int i = 0; i < 3; ++i)
                run.check(u"check %1"_s.arg(i), true, QString());
            // Around the watchdog's moment, a little before or after.
            std::this_thread::sleep_for(bound + std::chrono::microseconds(round * 37 % 400) -
                                        200us);
            finished = run.finish();
        }
        const QJsonObject report = readReport(path);
        const int total = report.value(u"total"_s).toInt();
        if (finished) {
            ++byFinish;
            EXPECT_EQ(*finished, 0);
            EXPECT_EQ(ending.exits, 0);
            EXPECT_EQ(total, 3);
            EXPECT_EQ(report.value(u"passed"_s), 3);
        } else {
            ++byWatchdog;
            EXPECT_EQ(ending.exits, 1);
            EXPECT_EQ(ending.cleanUps, 1);
            EXPECT_EQ(total, 4);
            EXPECT_EQ(report.value(u"passed"_s), 0);
        }
        EXPECT_EQ(report.value(u"results"_s).toArray().size(), total);
    }
    EXPECT_EQ(byFinish + byWatchdog, 50);
}

TEST(KeyCheckTest, LookupsFindTheWidgetsOfTheChecksAndTheEditingItemsOfTheirMenus) {
    QGuiApplication::styleHints()->setShowShortcutsInContextMenus(true);
    QWidget window;
    window.setWindowTitle(u"Tivela KeyCheck lookups"_s);
    auto* layout = new QVBoxLayout(&window);
    auto* input = new QPlainTextEdit;
    auto* button = new QPushButton(u"Paste"_s);
    auto* hidden = new QLineEdit;
    auto* readOnly = new QLineEdit;
    readOnly->setReadOnly(true);
    auto* search = new QLineEdit;
    auto* output = new QLabel(u"Buenos días"_s);
    output->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    for (QWidget* widget : {static_cast<QWidget*>(input), static_cast<QWidget*>(button),
                            static_cast<QWidget*>(hidden), static_cast<QWidget*>(readOnly),
                            static_cast<QWidget*>(search), static_cast<QWidget*>(output)})
        layout->addWidget(widget);
    // The main menu's keys, which a line edit then leaves out of its menu.
    for (const QKeySequence::StandardKey key :
         {QKeySequence::Cut, QKeySequence::Copy, QKeySequence::Paste}) {
        auto* shortcut = new QAction(&window);
        shortcut->setShortcut(key);
        window.addAction(shortcut);
    }
    window.show();
    hidden->hide();

    const QList<QWidget*> all = KeyCheck::views(&window);
    EXPECT_EQ(all.first(), &window);
    EXPECT_TRUE(all.contains(input->viewport()));
    EXPECT_LT(all.indexOf(input), all.indexOf(input->viewport()));
    EXPECT_EQ(KeyCheck::views(nullptr), QList<QWidget*>());
    EXPECT_EQ(KeyCheck::editableField(all), search);
    EXPECT_EQ(KeyCheck::selectableView(all, input), output);
    EXPECT_EQ(KeyCheck::windowByTitle(u"Tivela KeyCheck lookups"_s), &window);
    EXPECT_EQ(KeyCheck::windowByTitle(u"Tivela KeyCheck"_s), nullptr);

    const QSet<QString> clipboardItems{u"edit-cut"_s, u"edit-copy"_s, u"edit-paste"_s};
    for (QWidget* editor : {static_cast<QWidget*>(input), static_cast<QWidget*>(search)}) {
        const std::unique_ptr<QMenu> menu(editor == input ? input->createStandardContextMenu()
                                                          : search->createStandardContextMenu());
        EXPECT_TRUE(KeyCheck::menuActions(*menu).contains(clipboardItems))
            << KeyCheck::menuActions(*menu).values().join(u' ').toStdString();
    }
}

struct ClosingCase {
    const char* name;
    bool isPrivate;
    const char* personsDisplay;
    // The person's CLIPBOARD text after the run; the run's texts are "Bonjour" and "Words".
    std::optional<QString> after;
    bool readable;
    bool ok;
    const char* detailEnd;
};

class ClosingCheckTest : public ::testing::TestWithParam<ClosingCase> {};

// The last record compares the person's clipboard before and after the run: a text of the run
// there failed it, another program's copy did not.
TEST_P(ClosingCheckTest, ThePersonsClipboardDecides) {
    const ClosingCase& c = GetParam();
    CheckDesktop desktop;
    desktop.isPrivate = c.isPrivate;
    desktop.display = u":7"_s;
    desktop.personsDisplay = QString::fromLatin1(c.personsDisplay);
    const PersonsClipboard before{{11, u"the person's text"_s}, {12, std::nullopt}};
    PersonsClipboard after = before;
    if (c.after != before.clipboard.text)
        after.clipboard = {13, c.after};
    KeyCheck::Clipboards clipboards{before, after, {u"Bonjour"_s, u"Words"_s}};
    if (!c.readable)
        clipboards.after.reset();
    const CheckResult result = KeyCheck::closingCheck(desktop, clipboards);
    EXPECT_EQ(result.check, u"the app's clipboard was a private one (the person's untouched)"_s);
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_TRUE(result.detail.toString().endsWith(QString::fromUtf8(c.detailEnd)))
        << result.detail.toString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClosingCheckTest,
    ::testing::Values(ClosingCase{"onThePersonsDisplay", false, ":0", u"the person's text"_s, true,
                                  false, "the person's display :7 (the person's: :0)"},
                      ClosingCase{"untouched", true, ":0", u"the person's text"_s, true, true,
                                  "CLIPBOARD and PRIMARY as they were"},
                      ClosingCase{"anotherProgramCopied", true, ":0", u"a note"_s, true, true,
                                  "CLIPBOARD changed (another app copied meanwhile)"},
                      ClosingCase{"theRunsTextReachedIt", true, ":0", u"Words"_s, true, false,
                                  "CLIPBOARD holds the run's «Words»"},
                      ClosingCase{"unreadable", true, ":0", u"the person's text"_s, false, false,
                                  "could not be read"},
                      ClosingCase{"noPersonsDisplay", true, "", std::nullopt, false, true,
                                  "(the person's: none)"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
