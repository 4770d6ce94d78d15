#include "app/views/DictionaryCard.h"
#include "app/views/FlowLayout.h"
#include "app/views/IconButton.h"
#include "app/views/PopoverView.h"
#include "platform/desktop/Opener.h"
#include "support/TestWorld.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Meaning = DictionaryEntry::Meaning;
using Term = DictionaryEntry::Term;

// The text a tooltip shows: Qt reads one that looks like markup as markup.
QString shown(const QString& toolTip) {
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    QTextDocument document;
    document.setHtml(toolTip);
    return document.toPlainText();
}

DictionaryEntry entry(const QString& word, const QString& from, int meanings) {
    DictionaryEntry card{word, std::nullopt, from, u"es"_s, std::nullopt, std::nullopt, {}, {}};
    card.groups = {{u"noun"_s, {Term{u"perro"_s, std::nullopt, u"dog"_s}}}};
    for (int i = 0; i < meanings; ++i)
        card.meanings << Meaning{u"noun"_s, u"gloss %1"_s.arg(i), std::nullopt, std::nullopt,
                                 std::nullopt};
    return card;
}

class DictionaryCardTest : public ::testing::Test, public test::ViewRig {};

// The layout's cases: children at their natural sizes, spacing 6.
struct FlowCase {
    const char* name;
    int width;
    QList<QSize> children;
    QList<QPoint> expected;
    int height;
};

class FlowLayoutTest : public ::testing::TestWithParam<FlowCase> {};

} // namespace

TEST_P(FlowLayoutTest, PlacesChildrenLeftToRightAndWraps) {
    const FlowCase& flow = GetParam();
    QWidget holder;
    auto* layout = new FlowLayout(6, &holder);
    QList<QWidget*> children;
    for (const QSize& size : flow.children) {
        auto* child = new QWidget(&holder);
        child->setFixedSize(size);
        layout->addWidget(child);
        children << child;
    }
    EXPECT_EQ(layout->heightForWidth(flow.width), flow.height);
    // Without a width of its own it asks for 380, whatever the children measure.
    EXPECT_EQ(layout->sizeHint().width(), FlowLayout::idealWidth);
    EXPECT_EQ(layout->minimumSize().width(), 0);

    // Placed against the bounds given, wherever they start.
    layout->setGeometry(QRect(10, 5, flow.width, flow.height));
    for (qsizetype i = 0; i < children.size(); ++i) {
        EXPECT_EQ(children[i]->pos(), flow.expected[i] + QPoint(10, 5)) << "child " << i;
        EXPECT_EQ(children[i]->size(), flow.children[i]) << "child " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlowLayoutTest,
    ::testing::Values(
        FlowCase{"nothing", 100, {}, {}, 0},
        FlowCase{"thirdWraps", 100, {{40, 20}, {40, 20}, {40, 20}}, {{0, 0}, {46, 0}, {0, 26}}, 46},
        FlowCase{"wideChildOverflows", 100, {{500, 20}}, {{0, 0}}, 20},
        FlowCase{"linesOfTwoHeights", 100, {{90, 20}, {90, 30}}, {{0, 0}, {0, 26}}, 56},
        FlowCase{"wideAfterNarrow",
                 100,
                 {{30, 10}, {500, 20}, {30, 10}},
                 {{0, 0}, {0, 16}, {0, 42}},
                 52},
        FlowCase{"fitsExactly", 86, {{40, 20}, {40, 20}}, {{0, 0}, {46, 0}}, 20}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(DictionaryCardTest, FoldsMoreThanThreeSensesAndShowAllRebuildsFromItsOwnClick) {
    AppModel& app = make();
    for (const int count : {0, 3}) {
        DictionaryCard card(entry(u"dog"_s, u"en"_s, count), app, services);
        EXPECT_EQ(card.meaningsShown(), count);
        EXPECT_EQ(card.showAllButton(), nullptr);
        EXPECT_EQ(card.meaningsHeading(), count ? u"DEFINITIONS"_s : QString());
    }

    DictionaryCard card(entry(u"Hund"_s, u"de"_s, 4), app, services);
    card.resize(396, card.heightForWidth(396));
    card.show();
    EXPECT_EQ(card.meaningsHeading(), u"MEANINGS"_s);
    EXPECT_EQ(card.meaningsShown(), 3);
    QPointer<QAbstractButton> showAll = card.showAllButton();
    ASSERT_TRUE(showAll);
    EXPECT_EQ(showAll->text(), u"Show All 4"_s);
    const int folded = card.heightForWidth(396);

    QTest::mouseClick(showAll, Qt::LeftButton);
    EXPECT_TRUE(card.showsAllMeanings());
    EXPECT_EQ(card.meaningsShown(), 4);
    ASSERT_TRUE(card.showAllButton());
    EXPECT_EQ(card.showAllButton()->text(), u"Show Less"_s);
    EXPECT_GT(card.heightForWidth(396), folded);
    // The button that was clicked goes once its click is over.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(showAll.isNull());

    QTest::mouseClick(card.showAllButton(), Qt::LeftButton);
    EXPECT_EQ(card.meaningsShown(), 3);
    EXPECT_EQ(card.showAllButton()->text(), u"Show All 4"_s);
    EXPECT_EQ(card.heightForWidth(396), folded);

    // Pressed from the keyboard, the button that takes its place keeps the keyboard.
    card.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&card));
    card.showAllButton()->setFocus(Qt::TabFocusReason);
    for (const QString& next : {u"Show Less"_s, u"Show All 4"_s}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        ASSERT_TRUE(card.showAllButton());
        EXPECT_EQ(card.showAllButton()->text(), next);
        EXPECT_EQ(QApplication::focusWidget(), card.showAllButton());
    }
}

TEST_F(DictionaryCardTest, ShowsTheLemmaWithAFormNoteAndTooltipsAsPlainText) {
    AppModel& app = make();
    DictionaryEntry ran = entry(u"Ran"_s, u"en"_s, 1);
    ran.lemma = u"run"_s;
    ran.groups = {{u"verb"_s,
                   {Term{u"correr"_s, u"inu"_s, u"dog"_s}, Term{u"huir"_s, {}, {}},
                    Term{u"<b>dog</b>"_s, u"x <img src=x.png>"_s, u"<b>dog</b>"_s},
                    Term{u"a &lt; b"_s, std::nullopt, u"a &lt; b & c"_s}}}};
    DictionaryCard card(ran, app, services);
    EXPECT_EQ(card.headword(), u"run"_s);
    EXPECT_EQ(card.formNote(), u"\u201CRan\u201D is a form of \u201Crun\u201D"_s);
    QStringList tips;
    QStringList texts;
    for (QAbstractButton* term : card.termButtons()) {
        tips << shown(term->toolTip());
        texts << term->text();
    }
    EXPECT_EQ(tips, (QStringList{u"dog \u00B7 inu"_s, QString(),
                                 u"<b>dog</b> \u00B7 x <img src=x.png>"_s, u"a &lt; b & c"_s}));
    EXPECT_EQ(texts, (QStringList{u"correr"_s, u"huir"_s, u"<b>dog</b>"_s, u"a &lt; b"_s}));

    DictionaryEntry run = entry(u"Run"_s, u"en"_s, 1);
    run.lemma = u"run"_s;
    EXPECT_EQ(DictionaryCard(run, app, services).formNote(), QString());
}

// The card's own codes decide the way back, whatever translation is on screen by then.
TEST_F(DictionaryCardTest, ATapLooksTheTermUpTheOtherWay) {
    AppModel& app = make();
    DictionaryEntry dog = entry(u"dog"_s, u"en"_s, 1);
    app.setOutputFrom(u"de"_s);
    app.setOutputTo(u"en"_s);
    DictionaryCard card(dog, app, services);
    card.show();
    QTest::mouseClick(card.termButtons().first(), Qt::LeftButton);
    EXPECT_EQ(app.source(), u"es"_s);
    EXPECT_EQ(app.manualTarget(), std::optional(u"en"_s));
    EXPECT_EQ(app.input(), u"perro"_s);
}

TEST_F(DictionaryCardTest, GlossLinesFollowTheModelAndKeepShowAll) {
    AppModel& app = make();
    DictionaryEntry hund = entry(u"Hund"_s, u"de"_s, 4);
    hund.meanings[0].example = u"Der Hund bellt."_s;
    hund.meanings[0].exampleTranslation = u"The dog barks."_s;
    DictionaryCard card(hund, app, services);
    QTest::mouseClick(card.showAllButton(), Qt::LeftButton);

    // The example of a word that is not English has no line of its own; its translation has.
    app.setGlosses({{u"gloss 0"_s, u"glosa 0"_s},
                    {u"Der Hund bellt."_s, u"no"_s},
                    {u"The dog barks."_s, u"El perro ladra."_s},
                    {u"gloss 3"_s, u"glosa 3"_s}});
    EXPECT_EQ(card.glossLines(), (QStringList{u"glosa 0"_s, u"El perro ladra."_s, u"glosa 3"_s}));
    EXPECT_TRUE(card.showsAllMeanings());
    EXPECT_EQ(card.meaningsShown(), 4);

    app.setGlosses({{u"gloss 1"_s, u"glosa 1"_s}});
    EXPECT_EQ(card.glossLines(), QStringList{u"glosa 1"_s});
    // The user selects a line from its first press on.
    card.resize(396, card.heightForWidth(396));
    card.show();
    QLabel* line = nullptr;
    for (QLabel* label : card.findChildren<QLabel*>())
        if (label->text() == u"glosa 1"_s)
            line = label;
    ASSERT_TRUE(line);
    QTest::mousePress(line, Qt::LeftButton, {}, QPoint(1, line->height() / 2));
    QTest::mouseMove(line, QPoint(line->width() - 1, line->height() / 2));
    QTest::mouseRelease(line, Qt::LeftButton, {}, QPoint(line->width() - 1, line->height() / 2));
    EXPECT_EQ(line->selectedText(), u"glosa 1"_s);

    // An English example gets a line of its own.
    DictionaryEntry dog = entry(u"dog"_s, u"en"_s, 1);
    dog.meanings[0].example = u"The dog barks."_s;
    DictionaryCard english(dog, app, services);
    app.setGlosses({{u"The dog barks."_s, u"El perro ladra."_s}});
    EXPECT_EQ(english.glossLines(), QStringList{u"El perro ladra."_s});
}

TEST_F(DictionaryCardTest, ListenAppearsWithTheFirstVoiceListAndSpeaksTheHeadword) {
    AppModel& app = make();
    auto backend = std::make_unique<test::FakeSpeech>(
        QList<Voices::Voice>{test::voice(u"espeak-ng/English (America)"_s, u"en-US"_s)});
    backend->holding = true;
    test::FakeSpeech* late = backend.get();
    Speaker lateSpeaker(std::move(backend));
    services.speaker = &lateSpeaker;

    DictionaryEntry ran = entry(u"ran"_s, u"en"_s, 1);
    ran.lemma = u"run"_s;
    DictionaryCard card(ran, app, services);
    DictionaryCard german(entry(u"Hund"_s, u"de"_s, 1), app, services);
    card.show();
    german.show();
    EXPECT_FALSE(card.listenButton()->isVisible());
    late->release();
    ASSERT_TRUE(test::waitUntil([&] { return card.listenButton()->isVisible(); }, 5000));
    EXPECT_FALSE(german.listenButton()->isVisible());
    EXPECT_EQ(card.listenButton()->toolTip(), u"Listen in English"_s);

    QTest::mouseClick(card.listenButton(), Qt::LeftButton);
    EXPECT_TRUE(late->calls.contains(u"speak espeak-ng/English (America): run"_s))
        << late->calls.join(u"; "_s).toStdString();
}

// The desktop's handler is a script that writes down the URL it was given; the world's own
// folders stand in for the system's, so nothing installed on this machine answers.
TEST_F(DictionaryCardTest, TheDictionaryButtonHandsTheWordToTheDesktopsHandler) {
    AppModel& app = make();
    const QDir world(test::World::root());
    for (const char* folder : {"share/applications", "etc/xdg", "bin"})
        world.mkpath(QLatin1String(folder));
    qputenv("XDG_DATA_DIRS", world.filePath(u"share"_s).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", world.filePath(u"etc/xdg"_s).toLocal8Bit());
    qputenv("DISPLAY", ":97");
    qunsetenv("XDG_CURRENT_DESKTOP");

    // An xdg-mime that hangs counts as no handler once its time is up.
    const QByteArray path = qgetenv("PATH");
    world.mkpath(u"stuck"_s);
    QFile stuckMime(world.filePath(u"stuck/xdg-mime"_s));
    ASSERT_TRUE(stuckMime.open(QIODevice::WriteOnly));
    stuckMime.write("#!/bin/sh\nexec sleep 30\n");
    stuckMime.close();
    stuckMime.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", world.filePath(u"stuck"_s).toLocal8Bit() + ':' + path);
    {
        Opener stuck;
        QElapsedTimer waited;
        waited.start();
        EXPECT_EQ(stuck.hasHandler(u"dict"_s), std::nullopt);
        QSignalSpy known(&stuck, &Opener::handlerKnown);
        ASSERT_TRUE(known.wait(Opener::defaultQueryMilliseconds + 2000));
        EXPECT_EQ(stuck.hasHandler(u"dict"_s), std::optional(false));
        // A coarse timer may end a twentieth early.
        EXPECT_GE(waited.elapsed(), Opener::defaultQueryMilliseconds * 9 / 10);
    }
    qputenv("PATH", path);

    {
        Opener nobody;
        services.opener = &nobody;
        DictionaryCard asking(entry(u"dog"_s, u"en"_s, 1), app, services);
        asking.show();
        EXPECT_FALSE(asking.dictionaryButton()->isVisible());
        // However many cards ask, xdg-mime runs once.
        std::vector<std::unique_ptr<DictionaryCard>> burst;
        for (int i = 0; i < 20; ++i)
            burst.push_back(
                std::make_unique<DictionaryCard>(entry(u"dog"_s, u"en"_s, 1), app, services));
        EXPECT_EQ(nobody.findChildren<QProcess*>().size(), 1);
        QSignalSpy known(&nobody, &Opener::handlerKnown);
        ASSERT_TRUE(known.wait(Opener::defaultQueryMilliseconds + 2000));
        EXPECT_EQ(nobody.hasHandler(u"dict"_s), std::optional(false));
        EXPECT_FALSE(asking.dictionaryButton()->isVisible());
    }

    const QString record = world.filePath(u"dict-opened.txt"_s);
    const QString script = world.filePath(u"bin/record-dict"_s);
    QFile recorder(script);
    ASSERT_TRUE(recorder.open(QIODevice::WriteOnly));
    recorder.write(
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(record).toUtf8());
    recorder.close();
    recorder.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile desktop(world.filePath(u"share/applications/record-dict.desktop"_s));
    ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
    desktop.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Record\nExec=%1 %u\n"
                                 "MimeType=x-scheme-handler/dict;\n")
                      .arg(script)
                      .toUtf8());
    desktop.close();
    QFile defaults(world.filePath(u"etc/xdg/mimeapps.list"_s));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\nx-scheme-handler/dict=record-dict.desktop\n");
    defaults.close();

    // An opener that goes while xdg-mime still runs takes the process with it.
    std::make_unique<Opener>()->hasHandler(u"dict"_s);

    // A loaded machine may take longer than a desktop would to find the handler.
    constexpr int patientMilliseconds = 30000;
    Opener opener(nullptr, patientMilliseconds);
    services.opener = &opener;
    QStringList expected;
    for (const auto& [word, url] : {std::pair{u"AC/DC"_s, u"dict://AC%2FDC"_s},
                                    {u"New York"_s, u"dict://New%20York"_s},
                                    {u"\u00E9tat"_s, u"dict://%C3%A9tat"_s},
                                    {u"a:b 100%"_s, u"dict://a%3Ab%20100%25"_s}}) {
        DictionaryCard card(entry(word, u"fr"_s, 1), app, services);
        card.show();
        ASSERT_TRUE(test::waitUntil([&] { return card.dictionaryButton()->isVisible(); },
                                    patientMilliseconds));
        EXPECT_EQ(DictionaryCard::dictionaryUrl(word), url);
        QTest::mouseClick(card.dictionaryButton(), Qt::LeftButton);
        expected << url;
        const auto opened = [&] {
            QFile file(record);
            if (!file.open(QIODevice::ReadOnly))
                return QStringList();
            return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        };
        EXPECT_TRUE(test::waitUntil([&] { return opened() == expected; }, patientMilliseconds))
            << word.toStdString() << ": " << opened().join(u' ').toStdString();
    }
}

// Built alone, as the render modes build it, the card's height for a width holds all of it, in
// both palettes; with TIVELA_TEST_SHOTS set, the images are kept there to be looked at.
TEST_F(DictionaryCardTest, ItsHeightForAWidthHoldsAllOfIt) {
    AppModel& app = make();
    DictionaryEntry run{u"running"_s,         u"run"_s,     u"en"_s, u"es"_s,
                        u"/\u0279\u028Cn/"_s, std::nullopt, {},      {}};
    run.groups = {{u"verb"_s,
                   {Term{u"correr"_s, {}, u"move fast"_s}, Term{u"funcionar"_s, {}, {}},
                    Term{u"dirigir"_s, {}, {}}, Term{u"administrar"_s, {}, {}},
                    Term{u"presentarse como candidato"_s, {}, {}}, Term{u"huir"_s, {}, {}}}},
                  {u"noun"_s, {Term{u"carrera"_s, {}, {}}, Term{u"serie"_s, {}, {}}}}};
    for (const auto& [pos, gloss, example] :
         {std::tuple{u"verb"_s,
                     u"To move swiftly on foot so that both feet leave the ground "
                     "during each stride."_s,
                     u"I run every morning before work."_s},
          {u"verb"_s, u"To manage or be in charge of."_s, u"She runs a small bakery."_s},
          {u"verb"_s, u"To stand as a candidate in an election."_s, QString()},
          {u"noun"_s, u"An act of running."_s, u"He went for a run."_s},
          {u"noun"_s, u"A series of wins or losses."_s, QString()}})
        run.meanings << Meaning{pos, gloss,
                                example.isEmpty() ? std::nullopt : std::optional(example),
                                std::nullopt, std::nullopt};
    app.setGlosses({{run.meanings[0].gloss, u"Moverse rápidamente a pie."_s},
                    {*run.meanings[0].example, u"Corro todas las mañanas."_s}});

    const QString shots = qEnvironmentVariable("TIVELA_TEST_SHOTS");
    for (const auto& [senses, all] : {std::pair{3, false}, {5, false}, {5, true}}) {
        DictionaryEntry shown = run;
        shown.meanings = run.meanings.first(senses);
        DictionaryCard card(shown, app, services);
        if (all)
            QTest::mouseClick(card.showAllButton(), Qt::LeftButton);
        for (const bool dark : {false, true}) {
            card.setPalette(Theme::palette(dark));
            card.resize(396, card.heightForWidth(396));
            // Drawing lays out every nested part.
            const QImage image = test::render(card, 2);
            for (const QWidget* part : card.findChildren<QWidget*>()) {
                if (!part->isVisibleTo(&card))
                    continue;
                const QRect area(part->mapTo(&card, QPoint(0, 0)), part->size());
                EXPECT_TRUE(card.rect().contains(area))
                    << part->metaObject()->className() << " at " << area.y() << "+" << area.height()
                    << " in " << card.height();
            }
            if (!shots.isEmpty())
                image.save(u"%1/card-%2%3-%4.png"_s.arg(shots, QString::number(senses),
                                                        all ? u"-all"_s : QString(),
                                                        dark ? u"dark"_s : u"light"_s));
        }
    }
}

// In the translate tab the card sits under the translation, as wide as the tab lets it be: a
// long compound with its pronunciation is cut short inside the card and keeps Listen in view.
TEST_F(DictionaryCardTest, TheTranslateTabShowsTheCardOfTheModel) {
    AppModel& app = make();
    const QString compound = u"Rechtsschutzversicherungsgesellschaften"_s;
    const QString shots = qEnvironmentVariable("TIVELA_TEST_SHOTS");
    for (const QString& word : {u"dog"_s, compound}) {
        DictionaryEntry shown = entry(word, u"en"_s, 4);
        shown.ipa = word == compound ? u"/\u02C8\u0281\u025B\u00E7ts\u0283\u028Ats/"_s.repeated(3)
                                     : u"/d\u0252\u0261/"_s;
        shown.groups << DictionaryEntry::Group{word == compound ? compound : u"verb"_s,
                                               {Term{u"seguir"_s, {}, u"follow"_s}}};
        dictionary->add(shown);
        detection->languages.insert(word, u"en"_s);
        PopoverView popover(app, services);
        popover.show();
        app.show(word);
        run();
        ASSERT_TRUE(test::waitUntil([&] {
            auto* card = popover.findChild<DictionaryCard*>();
            return card && card->entry() == shown;
        })) << word.toStdString();
        auto* card = popover.findChild<DictionaryCard*>();
        for (const bool dark : {false, true}) {
            popover.setPalette(Theme::palette(dark));
            const QImage image = test::render(popover, 2);
            // Nothing of the card is cut at the tab's right edge.
            EXPECT_LE(card->mapTo(&popover, QPoint(card->width(), 0)).x(), PopoverView::widthPixels)
                << word.toStdString();
            const QAbstractButton* listen = card->listenButton();
            ASSERT_TRUE(listen->isVisibleTo(card));
            EXPECT_TRUE(
                card->rect().contains(QRect(listen->mapTo(card, QPoint(0, 0)), listen->size())))
                << word.toStdString();
            if (!shots.isEmpty())
                image.save(u"%1/translate-card-%2-%3.png"_s.arg(shots, QString::number(word.size()),
                                                                dark ? u"dark"_s : u"light"_s));
        }
    }
}
