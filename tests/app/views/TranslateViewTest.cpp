#include "app/views/TranslateView.h"
#include "app/Wording.h"
#include "app/views/IconButton.h"
#include "app/views/LanguageMenu.h"
#include "app/views/PasteButton.h"
#include "app/views/PopoverView.h"
#include "core/Graphemes.h"
#include "core/IncomingText.h"
#include "core/TextFit.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

#include <functional>
#include <utility>
#include <vector>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

class TranslateViewTest : public ::testing::Test, public test::ViewRig {
protected:
    // The tab inside a shown popover, as the user meets it.
    TranslateView& tab() {
        make();
        popover = std::make_unique<PopoverView>(*model, services);
        popover->show();
        popover->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(popover.get()));
        return *static_cast<TranslateView*>(popover->tabView());
    }

    template <typename T = QWidget>
    T* part(const QString& name) {
        // Views replaced a moment ago wait for their deletion.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return popover->tabView()->findChild<T*>(name);
    }
    bool shown(const QString& name) { return part(name) && part(name)->isVisible(); }

    // The menu's entries, with a check mark in front of the checked one.
    static QStringList entries(LanguageMenu* menu) {
        QStringList texts;
        for (const QAction* action : menu->menu()->actions())
            texts << (action->isSeparator() ? u"-"_s
                      : action->isChecked() ? u"\u2713"_s + action->text()
                                            : action->text());
        return texts;
    }

    void key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(popover->windowHandle(), key, modifiers);
        // A button's shortcut clicks it a moment later, as the user sees it pressed.
        QList<QPointer<QAbstractButton>> buttons;
        for (QAbstractButton* button : popover->findChildren<QAbstractButton*>())
            buttons << button;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return std::none_of(buttons.cbegin(), buttons.cend(),
                                    [](const auto& button) { return button && button->isDown(); });
            },
            10000))
            << "a button the key pressed was never clicked";
    }

    std::unique_ptr<PopoverView> popover;
};

} // namespace

TEST_F(TranslateViewTest, TheMenusTitleAndCheckWhatTheModelTranslates) {
    tab();
    auto* source = part<LanguageMenu>(u"tivela.source"_s);
    auto* target = part<LanguageMenu>(u"tivela.target"_s);
    EXPECT_EQ(source->title(), u"Detect Language"_s);
    // The source lists the dictionary's languages too, marked where the engine lacks them.
    const QStringList sources = entries(source);
    EXPECT_EQ(sources.mid(0, 3), (QStringList{u"\u2713Detect Language"_s, u"-"_s, u"English"_s}));
    for (const QString& name : {u"Spanish"_s, u"French"_s, u"German"_s,
                                u"Dutch (dictionary only)"_s, u"Polish (dictionary only)"_s})
        EXPECT_EQ(sources.count(name), 1) << name.toStdString();
    EXPECT_FALSE(sources.contains(u"Dutch"_s));
    // Nothing detected: the pair's second language is the source, and its partner the target.
    EXPECT_EQ(target->title(), u"English"_s);
    EXPECT_EQ(entries(target),
              (QStringList{u"\u2713English"_s, u"Spanish"_s, u"French"_s, u"German"_s}));

    detection->languages.insert(u"hola"_s, u"es"_s);
    model->setInput(u"hola"_s);
    run(220);
    EXPECT_EQ(source->title(), u"Auto \u00B7 Spanish"_s);
    EXPECT_TRUE(entries(source).first().startsWith(u"\u2713"_s));

    // Choosing a language; choosing the target already shown hands it on too, and clears a
    // chosen target.
    const qsizetype german = sources.indexOf(u"German"_s);
    source->menu()->actions().at(german)->trigger();
    EXPECT_EQ(model->source(), u"de"_s);
    EXPECT_EQ(source->title(), u"German"_s);
    EXPECT_EQ(entries(source).at(german), u"\u2713German"_s);
    EXPECT_EQ(entries(source).first(), u"Detect Language"_s);
    source->menu()->actions().at(sources.indexOf(u"Dutch (dictionary only)"_s))->trigger();
    EXPECT_EQ(model->source(), u"nl"_s);
    EXPECT_EQ(source->title(), u"Dutch"_s);
    target->menu()->actions().at(1)->trigger();
    EXPECT_EQ(model->manualTarget(), u"es"_s);
    EXPECT_EQ(target->title(), u"Spanish"_s);
    target->menu()->actions().at(0)->trigger();
    EXPECT_EQ(model->manualTarget(), std::nullopt);
    EXPECT_EQ(entries(target).first(), u"\u2713English"_s);
}

TEST_F(TranslateViewTest, TheOutputAreaFollowsInputTranslationAndProblems) {
    tab();
    EXPECT_TRUE(shown(u"tivela.empty"_s));

    // Spaces only: still the empty state and no Listen, but Clear, and no placeholder.
    model->setInput(u"   "_s);
    EXPECT_TRUE(shown(u"tivela.empty"_s));
    EXPECT_FALSE(shown(u"tivela.output"_s));
    EXPECT_FALSE(shown(u"tivela.listenInput"_s));
    EXPECT_TRUE(shown(u"tivela.clear"_s));
    EXPECT_FALSE(part<QPlainTextEdit>(u"tivela.input"_s)->document()->isEmpty());

    // While the first translation runs: an invisible line with a spinner, the row disabled.
    holdBack(u"<b>x</b>"_s);
    model->setInput(u"<b>x</b>"_s);
    time->advance(220);
    ASSERT_TRUE(model->translating());
    EXPECT_TRUE(shown(u"tivela.outputSpinner"_s));
    EXPECT_TRUE(shown(u"tivela.rowSpinner"_s));
    EXPECT_FALSE(part(u"tivela.copy"_s)->isEnabled());
    letGo(u"<b>x</b>"_s);
    run();
    // Markup is text.
    EXPECT_EQ(part<QTextEdit>(u"tivela.output"_s)->toPlainText(), u"en:<b>x</b>"_s);
    EXPECT_FALSE(shown(u"tivela.outputSpinner"_s));
    EXPECT_FALSE(shown(u"tivela.rowSpinner"_s));
    EXPECT_TRUE(part(u"tivela.copy"_s)->isEnabled());

    // A new translation keeps the old one in view, with only the small spinner.
    holdBack(u"y"_s);
    model->setInput(u"y"_s);
    time->advance(220);
    EXPECT_TRUE(shown(u"tivela.output"_s));
    EXPECT_FALSE(shown(u"tivela.outputSpinner"_s));
    EXPECT_TRUE(shown(u"tivela.rowSpinner"_s));
    letGo(u"y"_s);
    run();

    // A failure shows the fixed sentence, never the engine's words, and Try Again retries.
    model->setProblem(AppModel::Problem::failed(u"engine exploded"_s));
    auto* problem = part(u"tivela.problem"_s);
    ASSERT_TRUE(problem && problem->isVisible());
    QStringList texts;
    for (const QLabel* label : problem->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_EQ(texts, QStringList{u"Couldn\u2019t translate this text."_s});
    EXPECT_FALSE(shown(u"tivela.output"_s));
    const int asked = engine->translations();
    QTest::mouseClick(part<QAbstractButton>(u"tivela.retry"_s), Qt::LeftButton);
    run(0);
    EXPECT_EQ(engine->translations(), asked + 1);
    EXPECT_FALSE(shown(u"tivela.problem"_s));

    // Languages to install: the button asks the popover for them.
    model->setProblem(AppModel::Problem::notInstalled(u"en"_s, u"fr"_s));
    texts.clear();
    for (const QLabel* label : part(u"tivela.problem"_s)->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_EQ(texts.first(), u"English and French aren\u2019t on this computer yet."_s);
    QTest::mouseClick(part<QAbstractButton>(u"tivela.download"_s), Qt::LeftButton);
    ASSERT_TRUE(model->downloadRequest());
    EXPECT_EQ(model->downloadRequest()->to, u"fr"_s);
}

// Typing goes on into the input when what had the keyboard is replaced: a problem panel (after
// an install prompt) or the word card (on a new pair); a click on a filled button leaves the
// keyboard where it was, as every other button does.
TEST_F(TranslateViewTest, AReplacedPanelOrCardHandsTheKeyboardToTheInput) {
    tab();
    auto* input = part<QPlainTextEdit>(u"tivela.input"_s);
    model->setInput(u"Bonjour"_s);
    model->setProblem(AppModel::Problem::notInstalled(u"fr"_s, u"en"_s));
    input->setFocus();
    QTest::mouseClick(part<QAbstractButton>(u"tivela.download"_s), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), input);
    part(u"tivela.download"_s)->setFocus(Qt::TabFocusReason);
    model->setProblem(AppModel::Problem::failed(u"engine"_s));
    EXPECT_EQ(QApplication::focusWidget(), input);

    model->setProblem(std::nullopt);
    DictionaryEntry card{u"dog"_s,
                         std::nullopt,
                         u"en"_s,
                         u"es"_s,
                         std::nullopt,
                         std::nullopt,
                         {{u"noun"_s, {DictionaryEntry::Term{u"perro"_s, {}, {}}}}},
                         {}};
    model->setEntry(card);
    QAbstractButton* term = nullptr;
    for (auto* button : popover->tabView()->findChildren<QAbstractButton*>())
        if (button->text() == u"perro")
            term = button;
    ASSERT_TRUE(term);
    term->setFocus(Qt::TabFocusReason);
    card.word = u"cat"_s;
    model->setEntry(card);
    EXPECT_EQ(QApplication::focusWidget(), input);
}

// The texts that name the shortcut follow it, and its registration's outcome, while shown.
TEST_F(TranslateViewTest, TheShortcutsTextsFollowTheShortcutAndItsRegistration) {
    QString shortcut = u"Ctrl+Alt+T"_s;
    QString problem;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> watchers;
    services.shortcutText = [&] { return shortcut; };
    services.shortcutProblem = [&] { return problem; };
    services.watchShortcut = [&](QObject* context, std::function<void()> changed) {
        watchers.emplace_back(context, std::move(changed));
    };
    const auto changed = [&] {
        for (const auto& [context, call] : watchers)
            if (context)
                call();
    };
    tab();
    EXPECT_FALSE(shown(u"tivela.shortcutProblem"_s));

    shortcut = u"Ctrl+Shift+Y"_s;
    problem = u"In use by another application."_s;
    changed();
    QStringList texts;
    for (const QLabel* label : part(u"tivela.empty"_s)->findChildren<QLabel*>())
        if (label->isVisible())
            texts << label->text();
    EXPECT_TRUE(texts.contains(u"Press Ctrl+Shift+Y in any app to translate the selected text."_s));
    EXPECT_TRUE(texts.contains(u"Ctrl+Shift+Y: In use by another application."_s));
    problem.clear();
    changed();
    EXPECT_FALSE(shown(u"tivela.shortcutProblem"_s));
}

TEST_F(TranslateViewTest, CopyAndStarWorkByKeyOnlyWithATranslation) {
    tab();
    key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(copied.isEmpty());
    EXPECT_TRUE(model->phrases().isEmpty());

    // Nor while the first translation is on its way.
    holdBack(u"house"_s);
    model->setInput(u"house"_s);
    time->advance(220);
    key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(copied.isEmpty());
    EXPECT_TRUE(model->phrases().isEmpty());
    letGo(u"house"_s);
    run();
    ASSERT_EQ(model->output(), u"en:house"_s);
    key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(copied, QStringList{u"en:house"_s});
    auto* star = part<IconButton>(u"tivela.star"_s);
    EXPECT_EQ(star->symbol(), u"star"_s);
    key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(model->phrases().size(), 1);
    EXPECT_EQ(star->symbol(), u"star.fill"_s);
    EXPECT_TRUE(star->isActive());
    EXPECT_EQ(star->help(), u"Remove from Phrasebook"_s);
    key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(model->phrases().isEmpty());
    EXPECT_EQ(star->symbol(), u"star"_s);

    // Listen speaks the translation in its language.
    QTest::mouseClick(part<QAbstractButton>(u"tivela.listenOutput"_s), Qt::LeftButton);
    EXPECT_EQ(speech->calls.last(), u"speak espeak-ng/English (America): en:house"_s);
}

TEST_F(TranslateViewTest, TheCountShowsFromTwoHundredAndOneCharactersAsRead) {
    tab();
    // Each character is a letter and a combining accent: two code units, one character.
    const QString accented = u"e\u0301"_s;
    model->setInput(accented.repeated(200));
    EXPECT_FALSE(shown(u"tivela.count"_s));
    model->setInput(accented.repeated(201));
    ASSERT_TRUE(shown(u"tivela.count"_s));
    EXPECT_EQ(part<QLabel>(u"tivela.count"_s)->text(), u"201"_s);
}

TEST_F(TranslateViewTest, ListenAppearsWhenVoicesArriveLate) {
    auto backend = std::make_unique<test::FakeSpeech>(
        QList<Voices::Voice>{test::voice(u"espeak-ng/Spanish"_s, u"es"_s)});
    backend->holding = true;
    test::FakeSpeech* late = backend.get();
    speaker = std::make_unique<Speaker>(std::move(backend));
    services.speaker = speaker.get();
    tab();
    model->setSource(u"es"_s);
    model->setInput(u"hola"_s);
    EXPECT_FALSE(shown(u"tivela.listenInput"_s));
    late->release();
    ASSERT_TRUE(test::waitUntil([this] { return shown(u"tivela.listenInput"_s); }));
    EXPECT_EQ(part<IconButton>(u"tivela.listenInput"_s)->help(), u"Listen in Spanish"_s);
}

TEST_F(TranslateViewTest, BoxesAndThePasteButtonsFrameAreMeasuredInThePopover) {
    tab();
    const int scroller = TranslateView::scrollerWidth(popover.get());
    EXPECT_EQ(scroller, popover->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    EXPECT_EQ(model->inputBox(), QSizeF(420 - 28 - scroller, 118 - 12));
    EXPECT_EQ(model->outputBox().width(), 420 - 28 - scroller);
    EXPECT_NEAR(model->outputBox().height(), TextMeasure::lineHeight(34) * 4 + 1, 0.01);

    // The paste button: large and filled while the input is empty, small with any input.
    auto* paste = popover->findChild<PasteButton*>(u"tivela.paste"_s);
    ASSERT_TRUE(paste);
    EXPECT_TRUE(paste->isLarge());
    const QRectF frame(paste->mapTo(popover.get(), QPoint(0, 0)), QSizeF(paste->size()));
    EXPECT_EQ(model->pasteButtonFrame(), frame);
    EXPECT_GT(frame.top(), 44 + 118);
    EXPECT_EQ(paste->toolTip(), u"Paste from the clipboard and translate"_s);
    // Its fill is exactly the accent's, at twice the resolution, light and dark.
    for (const bool dark : {false, true}) {
        popover->setPalette(Theme::palette(dark));
        const QImage image = test::render(*popover, 2).convertToFormat(QImage::Format_ARGB32);
        const QPoint inside((frame.left() + 6) * 2, frame.center().y() * 2);
        EXPECT_EQ(image.pixel(inside), Theme::accentFill(popover->palette()).rgb()) << dark;
    }
    model->setInput(u" "_s);
    QCoreApplication::processEvents();
    EXPECT_FALSE(paste->isLarge());
    EXPECT_EQ(model->pasteButtonFrame().size(), QSizeF(paste->size()));
    EXPECT_LT(paste->height(), frame.height());
    pasteboard->setText(std::nullopt);
    model->refreshClipboard();
    EXPECT_FALSE(paste->isEnabled());
    EXPECT_EQ(paste->toolTip(), u"The clipboard has no text"_s);

    // Too narrow to hold anything: boxes of no width, never a negative one.
    TranslateView narrow(*model, services);
    narrow.resize(20, 600);
    narrow.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(model->inputBox().width(), 0);
    EXPECT_EQ(model->outputBox().width(), 0);
}

// A text handed over beyond the cap: cut between whole characters, said so in one line until
// the input changes, and its output, one long word, wraps anywhere at the box's width.
TEST_F(TranslateViewTest, AHandedOverTextBeyondTheCapIsCutAndSaysSo) {
    tab();
    const QString token = u"YWJj"_s + u"e\u0301"_s;
    const QString text = token.repeated(1024 * 1024 / token.size());
    model->show(text);
    run();
    const QString kept = Graphemes::first(text, IncomingText::maxCharacters);
    // Compared as truths: a failure must not print a megabyte.
    EXPECT_TRUE(model->input() == kept);
    EXPECT_TRUE(kept.endsWith(u"\u0301"_s));
    ASSERT_TRUE(shown(u"tivela.cut"_s));
    EXPECT_EQ(part<QLabel>(u"tivela.cut"_s)->text(), Wording::inputCut());
    EXPECT_EQ(part<QLabel>(u"tivela.count"_s)->text(),
              QString::number(IncomingText::maxCharacters));

    // A token longer than any word is no text to translate: it stands as it came.
    auto* output = part<QTextEdit>(u"tivela.output"_s);
    ASSERT_TRUE(output->toPlainText() == kept);
    EXPECT_EQ(output->wordWrapMode(), QTextOption::WrapAnywhere);
    const int width = output->width();
    const int lines = output->document()->firstBlock().layout()->lineCount();
    EXPECT_GT(lines, 100);
    EXPECT_EQ(output->heightForWidth(width), int(std::ceil(output->document()->size().height())));
    EXPECT_GT(output->heightForWidth(width / 2), output->heightForWidth(width));

    model->setInput(kept + u'!');
    EXPECT_FALSE(shown(u"tivela.cut"_s));
    model->show(u"short"_s);
    EXPECT_FALSE(shown(u"tivela.cut"_s));
}
