// The fit shots as they are made: the staged program with the real engine, sixteen pictures of
// the translate tab, one of them in the way of a folder, and the person's settings and
// temporary folder as they were.
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/QtPrinters.h"
#include "support/ShotChecks.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

TEST(FitShotsTest, TheStagedProgramWritesEverySampleLightAndDarkAndTellsWhatItCouldNot) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    const QByteArray settings = readFile(Paths::defaultsFile());
    const QString temporary = World::root() + u"/tmp"_s;
    const QString out = World::root() + u"/fit"_s;
    ASSERT_TRUE(writeFile(out + u"/mac-fit-ru.png"_s, "old"));
    // A picture that cannot be written: the others are, and the run fails.
    ASSERT_TRUE(QDir().mkpath(out + u"/mac-fit-es.png"_s));

    const ProcessResult run =
        bundle.render(u"--render-fit-shots"_s, out, renderEnvironment(temporary));
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("mac-fit-es.png not written")) << run.err.toStdString();

    std::map<QString, QSize> shots;
    for (const char* name :
         {"1-word", "2-words", "sentence", "paragraph", "ru", "pt", "es", "de-long"})
        shots[u"mac-fit-"_s + QLatin1StringView(name)] = {420, 600};
    QStringList expected = shotFiles(shots);
    expected.sort();
    EXPECT_EQ(filesIn(out), expected);
    shots.erase(u"mac-fit-es"_s);
    EXPECT_EQ(shotProblems(out, shots), QStringList());
    EXPECT_EQ(readFile(Paths::defaultsFile()), settings);
    EXPECT_EQ(filesIn(temporary).filter(u"tivela-"_s), QStringList());
}
