#include "core/Speaker.h"
#include "support/FakeSpeech.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::FakeSpeech;
using test::voice;

namespace {

QList<Voices::Voice> desktopVoices() {
    return {voice(u"espeak-ng/English (America)"_s, u"en-US"_s),
            voice(u"espeak-ng/English (Great Britain)"_s, u"en-GB"_s),
            voice(u"espeak-ng/English (America)+whisper"_s, u"en-US"_s, 1, true),
            voice(u"espeak-ng/Russian"_s, u"ru"_s),
            voice(u"espeak-ng/Ukrainian"_s, u"uk"_s),
            voice(u"espeak-ng/Serbian"_s, u"sr"_s),
            voice(u"espeak-ng/Hebrew"_s, u"he"_s),
            voice(u"espeak-ng/Chinese (Mandarin)"_s, u"zh"_s),
            voice(u"espeak-ng/Chinese (Cantonese)"_s, u"zh-Hant-TW"_s),
            voice(u"espeak-ng/Japanese"_s, u"ja"_s),
            voice(u"espeak-ng/Norwegian"_s, u"no"_s),
            voice(u"espeak-ng/French+Robot"_s, u"fr-FR"_s, 1, true)};
}

// A speaker on a fake synthesiser with a clock the test moves.
struct Rig {
    explicit Rig(QList<Voices::Voice> voices = desktopVoices(), bool holding = false) {
        auto backend = std::make_unique<FakeSpeech>(std::move(voices));
        backend->holding = holding;
        fake = backend.get();
        speaker = std::make_unique<Speaker>(std::move(backend), [this] { return now; });
        if (!holding) {
            EXPECT_TRUE(settle());
        }
    }

    bool settle() {
        return test::spinUntil([this] { return speaker->ready().isFinished(); });
    }

    std::chrono::steady_clock::time_point now{};
    FakeSpeech* fake = nullptr;
    std::unique_ptr<Speaker> speaker;
};

} // namespace

TEST(SpeakerTest, VoiceListIsReadAtStartAndAgainOnlyWhenAMinuteOld) {
    Rig rig;
    EXPECT_EQ(rig.fake->readings, 1);
    EXPECT_EQ(rig.speaker->systemVoices().size(), desktopVoices().size());

    rig.now += 10s;
    rig.speaker->languages();
    rig.speaker->canSpeak(u"Hello"_s, u"en"_s, {});
    EXPECT_EQ(rig.fake->readings, 1);

    // Past the minute the old list still serves while the new one is read, once.
    rig.fake->holding = true;
    rig.fake->list = {voice(u"espeak-ng/German"_s, u"de"_s)};
    rig.now += 51s;
    EXPECT_EQ(rig.speaker->systemVoices().size(), desktopVoices().size());
    EXPECT_EQ(rig.speaker->systemVoices().size(), desktopVoices().size());
    EXPECT_EQ(rig.fake->readings, 2);

    int changed = 0;
    QObject::connect(rig.speaker.get(), &Speaker::voicesChanged, [&] { ++changed; });
    rig.fake->release();
    ASSERT_TRUE(test::spinUntil([&] { return changed == 1; }));
    EXPECT_EQ(rig.speaker->languages(), QStringList{u"de"_s});
    // The fresh list counts its minute from its arrival.
    rig.now += 59s;
    rig.speaker->systemVoices();
    EXPECT_EQ(rig.fake->readings, 2);
}

TEST(SpeakerTest, NothingIsKnownUntilTheFirstListArrives) {
    Rig rig(desktopVoices(), true);
    EXPECT_FALSE(rig.speaker->ready().isFinished());
    EXPECT_TRUE(rig.speaker->languages().isEmpty());
    EXPECT_FALSE(rig.speaker->speak(u"Hello"_s, u"en"_s, {}));
    EXPECT_FALSE(rig.speaker->voice(u"en"_s));
    EXPECT_TRUE(rig.fake->calls.isEmpty());
    // Asking again while the first reading runs does not start a second one.
    EXPECT_EQ(rig.fake->readings, 1);

    rig.fake->release();
    ASSERT_TRUE(rig.settle());
    EXPECT_TRUE(rig.speaker->speak(u"Hello"_s, u"en"_s, {}));
}

TEST(SpeakerTest, SpeakStopsFirstAndSpeaksTheTrimmedText) {
    Rig rig;
    EXPECT_TRUE(rig.speaker->speak(u"  Hello\n"_s, u"en"_s, {}));
    EXPECT_TRUE(rig.speaker->speak(u"Привет"_s, u"en"_s, {}));
    EXPECT_EQ(rig.fake->calls,
              (QStringList{u"stop"_s, u"speak espeak-ng/English (America): Hello"_s, u"stop"_s,
                           u"speak espeak-ng/Russian: Привет"_s}));
}

TEST(SpeakerTest, UnspeakableTextLeavesSpeechAlone) {
    Rig rig;
    EXPECT_FALSE(rig.speaker->speak(u" \n\t "_s, u"en"_s, {}));
    EXPECT_FALSE(rig.speaker->speak(u"Hello"_s, u"ru"_s, {}));     // Latin is not spoken as Russian
    EXPECT_FALSE(rig.speaker->speak(u"Bonjour"_s, u"fr"_s, {}));   // only a novelty voice
    EXPECT_FALSE(rig.speaker->speak(u"Guten Tag"_s, u"de"_s, {})); // no voice at all
    EXPECT_TRUE(rig.fake->calls.isEmpty());
    rig.speaker->stop();
    EXPECT_EQ(rig.fake->calls, QStringList{u"stop"_s});
}

TEST(SpeakerTest, SpeaksAtMostTheFirstThousandCharactersWholeGraphemesEach) {
    Rig rig;
    const QString accented = u"e\u0301"_s; // one character, two code units
    rig.speaker->speak(QString(accented.repeated(1500)), u"en"_s, {});
    ASSERT_EQ(rig.fake->calls.size(), 2);
    const QString prefix = u"speak espeak-ng/English (America): "_s;
    EXPECT_EQ(rig.fake->calls[1], QString(prefix + accented.repeated(1000)));

    // Flags are two scalars each, four code units: the cut never splits one.
    const QString text = QString(QString(999, u'a') + u"🇫🇷🇩🇪 tail"_s);
    EXPECT_EQ(Speaker::firstCharacters(text, 1000), QString(QString(999, u'a') + u"🇫🇷"_s));
    EXPECT_EQ(Speaker::firstCharacters(u"short"_s, 1000), u"short"_s);
    EXPECT_EQ(Speaker::firstCharacters(u"a\r\nb"_s, 2), u"a\r\n"_s); // CR LF is one character
}

TEST(SpeakerTest, ResolveSettlesLanguageByScriptAndHints) {
    Rig rig;
    const auto resolved = [&](const QString& text, const QString& language,
                              const QStringList& hints = {}) {
        const auto result = rig.speaker->resolve(text, language, hints);
        return result ? result->language + u' ' + result->voice.name : u"<none>"_s;
    };
    EXPECT_EQ(resolved(u"Привет мир"_s, u"en"_s), u"ru Russian"_s);
    EXPECT_EQ(resolved(u"Привет мир"_s, u"en"_s, {u"de"_s, u"sr"_s}), u"sr Serbian"_s);
    EXPECT_EQ(resolved(u"Добрий вечір"_s, u"en"_s, {u"ru"_s}), u"uk Ukrainian"_s);
    EXPECT_EQ(resolved(u"漢字"_s, u"en"_s), u"zh Chinese (Mandarin)"_s);
    EXPECT_EQ(resolved(u"漢字"_s, u"en"_s, {u"zh-TW"_s}), u"zh-TW Chinese (Cantonese)"_s);
    EXPECT_EQ(resolved(u"漢字"_s, u"ja"_s), u"ja Japanese"_s);
    EXPECT_EQ(resolved(u"שלום"_s, u"en"_s, {u"fr"_s}), u"he Hebrew"_s);
    EXPECT_EQ(resolved(u"  1984  "_s, u"en"_s), u"en English (America)"_s);
    EXPECT_EQ(resolved(u"\n"_s, u"en"_s), u"<none>"_s);
    EXPECT_FALSE(rig.speaker->canSpeak(u"Bonjour"_s, u"fr"_s, {}));
    EXPECT_TRUE(rig.speaker->canSpeak(u"Hei"_s, u"nb"_s, {}));
}

TEST(SpeakerTest, VoiceForTakesThePlatformsDefaultIntoAccount) {
    Rig rig;
    // Without a word from the platform the preferred region decides.
    EXPECT_EQ(rig.speaker->voice(u"en"_s)->name, u"English (America)"_s);
    rig.fake->platformDefault = u"espeak-ng/English (Great Britain)"_s;
    EXPECT_EQ(rig.speaker->voice(u"en"_s)->name, u"English (Great Britain)"_s);
    EXPECT_EQ(rig.speaker->voice(u"en"_s)->language, u"en-GB"_s);
}

TEST(SpeakerTest, LanguagesListsEachUsableLanguageOnceInMenuOrder) {
    Rig rig({voice(u"a/Mei"_s, u"zh-Hant-TW"_s), voice(u"a/Nora"_s, u"no"_s),
             voice(u"a/Nils"_s, u"nb_NO"_s), voice(u"a/Anna"_s, u"de-DE"_s),
             voice(u"a/Tom"_s, u"en-GB"_s), voice(u"a/Ann"_s, u"en-US"_s),
             voice(u"a/Fred"_s, u"fr-FR"_s, 1, true), voice(u"a/Blank"_s, u""_s)});
    const QStringList languages = rig.speaker->languages();
    EXPECT_EQ(languages.value(0), u"en"_s);
    EXPECT_EQ(languages.count(u"en"_s), 1);
    EXPECT_EQ(languages.count(u"nb"_s), 1);
    EXPECT_TRUE(languages.contains(u"zh-TW"_s));
    EXPECT_FALSE(languages.contains(u"fr"_s));
    EXPECT_FALSE(languages.contains(u""_s));
    EXPECT_EQ(languages.size(), 4);
}
