// "Translate and Replace" on the real English-Spanish engine, recogniser and store: what goes
// back into the person's document.
#include "app/ReplaceService.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "core/StoreWriter.h"
#include "core/Translator.h"
#include "platform/engine/ApertiumEngine.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace tivela;
using namespace Qt::StringLiterals;

// The selection's own white space comes back around its translation, and nothing more; links
// and paths in it come back as they stand. The history keeps the same, and no row for a text
// with nothing to translate.
TEST(ReplaceServiceTest, ReplacesTheSelectionWithoutStraySpaceOrBrokenLinks) {
    const QString modes = test::modesFolder(u"modes-replace"_s, {u"eng-spa"_s, u"spa-eng"_s});
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    QTemporaryDir folder;
    Store store(folder.filePath(u"store.sqlite"_s));
    Lexicon lexicon(folder.filePath(u"Lexicon"_s));
    StoreWriter writer(store);
    Translator apertium(std::make_shared<ApertiumEngine>(ApertiumEngine::Options{modes}));
    AppServices services = AppServices::production(store, lexicon);
    services.translator = &apertium;
    ReplaceService replace(services, writer);

    // A link alone, or a text without letters, comes back as it stands and is no translation
    // to remember.
    const QStringList asTheyStand{u"https://example.com/path?q=hello+world"_s, u"1234567"_s};
    const QList<std::pair<QString, QString>> selections{
        {u"I am hungry"_s, u"Tengo hambre"_s},
        {u" I love pizza and coffee\n"_s, u" Quiero pizza y café\n"_s},
        {u"The file is /home/user/documents/report.txt"_s,
         u"La lima es /home/user/documents/report.txt"_s},
        {u"See https://example.com/path?q=hello+world now"_s,
         u"Ve https://example.com/path?q=hello+world ahora"_s},
        {asTheyStand[0], asTheyStand[0]},
        {asTheyStand[1], asTheyStand[1]},
    };
    for (const auto& [selection, translation] : selections) {
        // The pair's first answer waits for the engine's stages to load.
        const auto answer = replace.translateReplace(selection, QDeadlineTimer(60000));
        ASSERT_TRUE(test::waitUntil([&] { return answer.isFinished(); }, 60000));
        EXPECT_EQ(answer.result(), translation);
    }
    ASSERT_TRUE(test::waitUntil([&] { return writer.pending().isEmpty(); }));
    QHash<QString, QString> remembered;
    for (const Item& row : store.history(QString(), 10))
        remembered.insert(row.text, row.translation);
    for (const auto& [selection, translation] : selections)
        EXPECT_EQ(remembered.value(selection),
                  asTheyStand.contains(selection) ? QString() : translation)
            << selection.toStdString();
}
