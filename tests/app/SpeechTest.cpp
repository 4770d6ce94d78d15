#include "app/Speech.h"
#include "core/Paths.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(SpeechTest, HintsAreTheSavedPairMineFirstAndNothingWithoutOne) {
    QFile::remove(Paths::defaultsFile());
    EXPECT_EQ(Speech::hints(), QStringList());
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    EXPECT_EQ(Speech::hints(), (QStringList{u"ru"_s, u"en"_s}));
    // Read afresh: a pair the other program saved counts at once.
    SharedSettings::setPair(LanguagePair{u"de"_s, u"es"_s});
    EXPECT_EQ(Speech::hints(), (QStringList{u"de"_s, u"es"_s}));
}
