// The screenshot set as it is made: the staged program in a bundle of the test's own, with the
// real engine and packs from a loopback server, checked picture by picture; the folder cases
// that every render mode shares; the wait's bounds in-process; and the fonts of every sample.
#include "app/checks/ScreenshotRenderer.h"
#include "app/checks/FitShots.h"
#include "app/checks/SiteShots.h"
#include "app/views/PopoverView.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Translator.h"
#include "platform/Defaults.h"
#include "support/CheckBundle.h"
#include "support/ShotChecks.h"
#include "support/ViewRig.h"

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QJsonValue>

#include <tiffio.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The pages of a TIFF: width, height and horizontal resolution of each, with its alpha kind.
struct Page {
    quint32 width = 0;
    quint32 height = 0;
    float dpi = 0;
    quint16 alpha = 0;
    friend bool operator==(const Page&, const Page&) = default;
};

void PrintTo(const Page& page, std::ostream* out) {
    *out << page.width << "x" << page.height << "@" << page.dpi << " alpha " << page.alpha;
}

std::vector<Page> tiffPages(const QString& path) {
    std::vector<Page> pages;
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff)
        return pages;
    do {
        Page page;
        quint16 count = 0;
        quint16* kinds = nullptr;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height);
        TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &page.dpi);
        if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) == 1 && count == 1)
            page.alpha = kinds[0];
        pages.push_back(page);
    } while (TIFFReadDirectory(tiff) == 1);
    TIFFClose(tiff);
    return pages;
}

const std::map<QString, QSize>& screenshotShots() {
    static const std::map<QString, QSize> shots{
        {u"mac-1-word"_s, {420, 600}},     {u"mac-10-card"_s, {420, 760}},
        {u"mac-2-sentence"_s, {420, 600}}, {u"mac-3-word-spanish"_s, {420, 600}},
        {u"mac-4-history"_s, {420, 600}},  {u"mac-5-phrasebook"_s, {420, 600}},
        {u"mac-6-cards"_s, {420, 600}},    {u"mac-7-welcome"_s, {420, 600}},
        {u"mac-8-download"_s, {420, 600}}, {u"mac-9-settings"_s, {480, 640}},
        {u"mac-11-updates"_s, {480, 250}},
    };
    return shots;
}

} // namespace

TEST(ScreenshotRendererTest, TheStagedProgramWritesTheWholeSetAndLeavesNothingElse) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    QDir(Paths::lexicon()).removeRecursively();
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    const QByteArray settings = readFile(Paths::defaultsFile());
    const QString temporary = World::root() + u"/tmp"_s;
    // Other files stay; a picture of the same name is replaced.
    const QString out = World::root() + u"/shots/set"_s;
    ASSERT_TRUE(writeFile(out + u"/notes.txt"_s, "mine"));
    ASSERT_TRUE(writeFile(out + u"/mac-1-word.png"_s, "old"));

    const ProcessResult run =
        bundle.render(u"--render-screenshots"_s, out, renderEnvironment(temporary));
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // A set drawn whole says nothing, and nothing of the platform's about size hints.
    EXPECT_FALSE(run.err.contains("tivela:")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("propagateSizeHints")) << run.err.toStdString();

    QStringList expected = shotFiles(screenshotShots());
    expected << u"mac-menubar-glyph.tiff"_s << u"notes.txt"_s;
    expected.sort();
    EXPECT_EQ(filesIn(out), expected);
    EXPECT_EQ(readFile(out + u"/notes.txt"_s), "mine");
    EXPECT_EQ(shotProblems(out, screenshotShots()), QStringList());
    EXPECT_EQ(tiffPages(out + u"/mac-menubar-glyph.tiff"_s),
              (std::vector<Page>{{18, 18, 72, EXTRASAMPLE_UNASSALPHA},
                                 {36, 36, 144, EXTRASAMPLE_UNASSALPHA},
                                 {54, 54, 216, EXTRASAMPLE_UNASSALPHA}}));

    EXPECT_EQ(readFile(Paths::defaultsFile()), settings);
    EXPECT_EQ(filesIn(temporary).filter(u"tivela-"_s), QStringList());
}

// Without packs the card cannot be drawn, without the tray's images the glyph cannot: each is
// named, the rest of the set is drawn, and the run fails.
TEST(ScreenshotRendererTest, WithoutPacksAndTrayImagesTheirPicturesAreNamedAndTheRunFails) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    ASSERT_TRUE(bundle.setInfo(u"TivelaLexiconURL"_s, QJsonValue::Undefined));
    for (const QString& icon : QDir(bundle.root() + u"/share"_s).entryList({u"*.png"_s}))
        ASSERT_TRUE(QFile::remove(bundle.root() + u"/share/"_s + icon));
    QDir(Paths::lexicon()).removeRecursively();
    const QString out = World::root() + u"/shots/unpacked"_s;

    const ProcessResult run =
        bundle.render(u"--render-screenshots"_s, out, renderEnvironment(World::root() + u"/tmp"_s));
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("tivela: mac-10-card not drawn: no dictionary pack of en, es "
                                 "(no pack source configured)\n"))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("tivela: mac-menubar-glyph.tiff not drawn: no tray icon images"))
        << run.err.toStdString();
    std::map<QString, QSize> drawn = screenshotShots();
    drawn.erase(u"mac-10-card"_s);
    QStringList expected = shotFiles(drawn);
    expected.sort();
    EXPECT_EQ(filesIn(out), expected);
}

// A card the packs have no word for is left out on purpose, and the run does not fail for it;
// one the packs are missing for could not be drawn.
TEST(ScreenshotRendererTest, ACardIsSkippedOnlyWhenItsPacksAreThere) {
    const QString out = World::root() + u"/shots/cards"_s;
    QDir(Paths::lexicon()).removeRecursively();
    {
        ScreenshotRenderer::Session session(out, u"tivela-shots"_s, {u"es"_s, u"en"_s});
        QCoro::waitFor(session.dictionaryCard(QSize(420, 760), u"mac-10-card"_s));
        EXPECT_TRUE(session.failed());
    }
    const auto packs = checkPacks();
    for (const QString& code : {u"en"_s, u"es"_s})
        ASSERT_TRUE(writeFile(Paths::lexicon() + u'/' + Lexicon::fileName(code), packs.at(code)));
    ScreenshotRenderer::Session session(out, u"tivela-shots"_s, {u"es"_s, u"en"_s});
    QCoro::waitFor(session.dictionaryCard(QSize(420, 760), u"mac-10-card"_s));
    EXPECT_FALSE(session.failed());
    EXPECT_EQ(filesIn(out), QStringList());
}

// The welcome picture's "Learn More" is the application's, enabled as the person sees it.
TEST(ScreenshotRendererTest, TheSessionsViewsCarryTheSelectionHelp) {
    ScreenshotRenderer::Session session(World::root() + u"/shots/help"_s, u"tivela-shots"_s,
                                        {u"es"_s, u"en"_s});
    session.model().setNeedsAccessibility(true);
    PopoverView view(session.model(), session.views());
    QAbstractButton* help = nullptr;
    for (QAbstractButton* button : view.findChildren<QAbstractButton*>())
        if (button->text() == u"Learn More"_s)
            help = button;
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->isEnabled());
}

// Every seed is one the engine translates: a picture of "word → word" shows nothing.
TEST(ScreenshotRendererTest, EverySeedIsTranslatedByTheEngine) {
    for (const auto* table : {&ScreenshotRenderer::seeds(), &SiteShots::seeds()})
        for (const ScreenshotRenderer::Seed& seed : *table) {
            QFuture<QString> future =
                Defaults::translator().translate(seed.text, seed.from, seed.to, false);
            ASSERT_TRUE(waitUntil([&] { return future.isFinished(); }, 30000));
            const QString translation = future.result();
            EXPECT_NE(translation.toCaseFolded(), seed.text.toCaseFolded())
                << seed.text.toStdString();
            EXPECT_FALSE(translation.contains(u'*')) << translation.toStdString();
        }
}

// Shared by every render mode: the folder is made first, and nothing is drawn without it.
TEST(ScreenshotRendererTest, AnOutputFolderThatCannotBeMadeWritesNothingAndFails) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    const QString blocker = World::root() + u"/blocker"_s;
    ASSERT_TRUE(writeFile(blocker, "a file, not a folder"));
    const QString temporary = World::root() + u"/tmp-unmade"_s;
    for (const QString& option :
         {u"--render-screenshots"_s, u"--render-fit-shots"_s, u"--render-site-shots"_s}) {
        const ProcessResult run =
            bundle.render(option, blocker + u"/out"_s, renderEnvironment(temporary));
        ASSERT_TRUE(run.finished) << qPrintable(option);
        EXPECT_EQ(run.exitCode, 1) << qPrintable(option);
        EXPECT_TRUE(run.err.contains("cannot make the folder")) << run.err.toStdString();
    }
    EXPECT_EQ(readFile(blocker), "a file, not a folder");
    EXPECT_EQ(filesIn(temporary), QStringList());
}

struct WaitCase {
    const char* name;
    bool word;
    bool translating;
    bool withEntry;
    bool dictionaryLoading;
    bool withGlosses;
    int polls;
    int glossPolls;
};

class WaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitTest, PollsWithinItsBounds) {
    const WaitCase& c = GetParam();
    ViewRig rig;
    AppModel& model = rig.make();
    model.setPair({u"es"_s, u"en"_s});
    model.setOutput(u"corre"_s);
    model.setTranslating(c.translating);
    model.setDictionaryLoading(c.dictionaryLoading);
    if (c.withEntry) {
        DictionaryEntry entry;
        entry.word = u"run"_s;
        entry.from = u"en"_s;
        entry.to = u"es"_s;
        entry.meanings = {{u"verb"_s, u"to move swiftly on foot"_s, {}, {}, {}}};
        model.setEntry(entry);
        // The model's own request for the glosses ends first.
        settle();
    }
    if (c.withGlosses)
        model.setGlosses({{u"to move swiftly on foot"_s, u"moverse deprisa"_s}});

    const ScreenshotRenderer::WaitBounds bounds{3, 4, 1ms, 1ms};
    const ScreenshotRenderer::Waited waited =
        QCoro::waitFor(ScreenshotRenderer::wait(model, c.word, bounds));
    EXPECT_EQ(waited.polls, c.polls);
    EXPECT_EQ(waited.glossPolls, c.glossPolls);
}

INSTANTIATE_TEST_SUITE_P(Bounds, WaitTest,
                         ::testing::Values(
                             // Settled already: one poll all the same.
                             WaitCase{"settledSentence", false, false, false, false, false, 1, 0},
                             WaitCase{"stillTranslating", false, true, false, false, false, 3, 0},
                             // A word without a card gives up after its polls, with no gloss wait.
                             WaitCase{"wordWithoutCard", true, false, false, false, false, 3, 0},
                             WaitCase{"wordWhileLookingUp", true, false, true, true, false, 3, 4},
                             WaitCase{"sentenceNeverWaitsForCard", false, false, true, true, false,
                                      1, 0},
                             WaitCase{"wordWaitsForGlosses", true, false, true, false, false, 1, 4},
                             WaitCase{"wordWithGlosses", true, false, true, false, true, 1, 0}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// A missing font must fail here, not go unseen as boxes in a picture.
TEST(ScreenshotRendererTest, EverySampleIsInTheViewFont) {
    QStringList texts = ScreenshotRenderer::samples() + SiteShots::samples();
    for (const auto* table : {&ScreenshotRenderer::seeds(), &SiteShots::seeds()})
        for (const ScreenshotRenderer::Seed& seed : *table)
            texts << seed.text;
    for (const FitShots::Sample& sample : FitShots::samples())
        texts << sample.text;
    const QFontMetricsF metrics(Theme::font(13));
    QString missing;
    for (const QString& text : texts)
        for (const char32_t character : text.toUcs4())
            if (!metrics.inFontUcs4(character))
                missing += QString::fromUcs4(&character, 1);
    EXPECT_EQ(missing, QString());
}
