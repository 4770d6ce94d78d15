#include "app/views/InputTextView.h"
#include "core/TextFit.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

class InputTextViewTest : public ::testing::Test, public test::ViewRig {
protected:
    // The editor in a shown, active window beside a line edit.
    InputTextView& editor() {
        make();
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        view = new InputTextView(*model);
        other = new QLineEdit;
        layout->addWidget(view);
        layout->addWidget(other);
        window->resize(400, 300);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        view->setFocus();
        return *view;
    }

    // Keys go to the window, as the platform sends them, so focus decides who gets them.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}, const QString& text = {}) {
        QTest::sendKeyEvent(QTest::Press, window->windowHandle(), key, text, modifiers);
        QTest::sendKeyEvent(QTest::Release, window->windowHandle(), key, text, modifiers);
    }
    void type(const QString& text) {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, window->windowHandle(), Qt::Key_unknown, QString(c),
                                {});
    }

    int undoSteps() const { return view->document()->availableUndoSteps(); }

    std::unique_ptr<QWidget> window;
    InputTextView* view = nullptr;
    QLineEdit* other = nullptr;
};

} // namespace

TEST_F(InputTextViewTest, ReturnTranslatesAtOnceUnlessAModifierBreaksTheLine) {
    InputTextView& input = editor();
    type(u"hello"_s);
    EXPECT_EQ(model->input(), u"hello"_s);
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool breaksLine;
    };
    for (const Case& c :
         {Case{Qt::Key_Return, {}, false}, Case{Qt::Key_Enter, Qt::KeypadModifier, false},
          Case{Qt::Key_Return, Qt::MetaModifier, false},
          Case{Qt::Key_Return, Qt::ShiftModifier, true},
          Case{Qt::Key_Return, Qt::ControlModifier, true},
          Case{Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier, true}}) {
        const QString before = model->input();
        const int asked = engine->translations();
        key(c.key, c.modifiers);
        // Without the debounce's time passing, only an immediate translation runs.
        run(0);
        if (c.breaksLine) {
            EXPECT_EQ(model->input(), before + u'\n') << int(c.modifiers);
            EXPECT_EQ(input.text(), model->input());
            EXPECT_EQ(engine->translations(), asked);
        } else {
            EXPECT_EQ(model->input(), before) << int(c.modifiers);
            EXPECT_EQ(engine->translations(), asked + 1);
        }
    }
    // Tab moves the focus and types nothing.
    const QString before = model->input();
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), other);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), &input);
    EXPECT_EQ(model->input(), before);
}

TEST_F(InputTextViewTest, ModelWritesAreSingleUndoStepsApartFromTyping) {
    InputTextView& input = editor();
    type(u"one"_s);
    const int typed = undoSteps();
    // The same text (up to line ends) is no step at all.
    model->setInput(u"one"_s);
    EXPECT_EQ(undoSteps(), typed);
    model->setInput(u"two three"_s);
    EXPECT_EQ(input.text(), u"two three"_s);
    EXPECT_EQ(input.textCursor().position(), 9);
    // Typing after it is a step of its own.
    type(u"x"_s);
    EXPECT_EQ(model->input(), u"two threex"_s);
    input.undo();
    EXPECT_EQ(model->input(), u"two three"_s);
    input.undo();
    EXPECT_EQ(model->input(), u"one"_s);
    EXPECT_EQ(input.text(), u"one"_s);

    // A font size from the model restyles without a step.
    const int steps = undoSteps();
    model->setInputFontSize(20);
    EXPECT_EQ(input.font().pixelSize(), 20);
    EXPECT_EQ(undoSteps(), steps);

    // Line ends of any kind are one line end; a no-break space stays one.
    model->setInput(u"a\r\nb\u00A0c"_s);
    EXPECT_EQ(input.document()->blockCount(), 2);
    EXPECT_EQ(input.text(), u"a\nb\u00A0c"_s);
    EXPECT_EQ(model->input(), u"a\r\nb\u00A0c"_s);
    type(u"\u00A0"_s);
    EXPECT_EQ(model->input(), u"a\nb\u00A0c\u00A0"_s);
}

TEST_F(InputTextViewTest, TextSetWhileComposingWaitsForTheCompositionToEnd) {
    InputTextView& input = editor();
    type(u"ab"_s);
    QInputMethodEvent composing(u"ka"_s, {});
    QCoreApplication::sendEvent(&input, &composing);
    EXPECT_TRUE(input.isComposing());
    EXPECT_EQ(model->input(), u"ab"_s);

    model->setInput(u"chosen elsewhere"_s);
    EXPECT_EQ(input.text(), u"ab"_s);
    QInputMethodEvent commit;
    commit.setCommitString(u"\u304B"_s);
    QCoreApplication::sendEvent(&input, &commit);
    EXPECT_FALSE(input.isComposing());
    EXPECT_EQ(input.text(), u"chosen elsewhere"_s);
    EXPECT_EQ(model->input(), u"chosen elsewhere"_s);
    // Typing goes on as usual.
    type(u"!"_s);
    EXPECT_EQ(model->input(), u"chosen elsewhere!"_s);
}

TEST_F(InputTextViewTest, PastesArriveAsPlainTextAndTheModelsPasteIsOneStep) {
    InputTextView& input = editor();
    // The offscreen platform's clipboard is the test's own.
    auto* html = new QMimeData;
    html->setHtml(u"<p><b>bold</b> text</p>"_s);
    QApplication::clipboard()->setMimeData(html);
    ASSERT_TRUE(input.canPaste());
    input.paste();
    EXPECT_EQ(model->input(), u"bold text"_s);

    // The model's paste replaces everything, tells the model at once, and translates it.
    pasteboard->setText(u"from the clipboard"_s);
    model->pasteFromClipboard();
    EXPECT_EQ(input.text(), u"from the clipboard"_s);
    EXPECT_EQ(model->input(), u"from the clipboard"_s);
    run(0);
    EXPECT_EQ(model->output(), u"en:from the clipboard"_s);
    input.undo();
    EXPECT_EQ(model->input(), u"bold text"_s);
}

TEST_F(InputTextViewTest, TypedLinesKeepTheirFirstLetterAndThePlaceholderClearsTheCaret) {
    InputTextView& input = editor();
    window->resize(402, 118);
    QCoreApplication::processEvents();

    // Empty, the caret blinks at the start of the line and the placeholder's first letter
    // begins after it, with a column of ground between them.
    const QImage empty = test::render(*window, 1);
    const QPoint origin = input.viewport()->mapTo(window.get(), QPoint(0, 0));
    const int caretEnd = origin.x() + input.cursorWidth();
    const int lineHeight = input.fontMetrics().height();
    const QColor ground =
        empty.pixelColor(origin.x() + input.viewport()->width() - 2, origin.y() + lineHeight / 2);
    const auto inked = [&](int x) {
        for (int y = origin.y(); y < origin.y() + lineHeight; ++y)
            if (empty.pixelColor(x, y) != ground)
                return true;
        return false;
    };
    int ink = caretEnd;
    while (ink < caretEnd + 20 && !inked(ink))
        ++ink;
    EXPECT_GT(ink, caretEnd) << "the placeholder starts under the caret";
    EXPECT_LT(ink, caretEnd + 20) << "no placeholder drawn";

    // Lines that wrap at the box's edge never scroll the box sideways.
    const QString sentence = u"However, the data was converted into a form that nobody could "_s
                             u"read without the key, and so on for many more lines. "_s;
    for (const QChar c : sentence.repeated(3)) {
        type(QString(c));
        ASSERT_EQ(input.horizontalScrollBar()->value(), 0) << input.text().size();
    }
}

TEST_F(InputTextViewTest, ATextWithAVeryLongWordWrapsAnywhereUntilTheWordIsGone) {
    InputTextView& input = editor();
    const QString token = u"QmFzZTY0IGlzIGEgZ3JvdXAgb2Yg"_s.repeated(200);
    struct Case {
        QString text;
        QTextOption::WrapMode wrap;
    };
    for (const Case& c :
         {Case{u"a few words"_s, QTextOption::WrapAtWordBoundaryOrAnywhere},
          Case{u"see "_s + token + u" here"_s, QTextOption::WrapAnywhere},
          Case{u"words "_s.repeated(2000), QTextOption::WrapAtWordBoundaryOrAnywhere},
          Case{token.left(TextMeasure::longWordCharacters),
               QTextOption::WrapAtWordBoundaryOrAnywhere}}) {
        model->setInput(c.text);
        EXPECT_EQ(input.wordWrapMode(), c.wrap) << c.text.left(20).toStdString();
    }
    // Typed, pasted or brought back by undo, the mode follows the text.
    model->setInput(u"short"_s);
    QApplication::clipboard()->setText(token);
    input.paste();
    EXPECT_EQ(input.wordWrapMode(), QTextOption::WrapAnywhere);
    input.undo();
    EXPECT_EQ(input.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    input.redo();
    EXPECT_EQ(input.wordWrapMode(), QTextOption::WrapAnywhere);
    EXPECT_EQ(model->input(), u"short"_s + token);
}
