#include "platform/speech/Espeak.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// An engine that synthesises into memory, so no sound device is needed.
struct Recorder {
    Recorder()
        : engine([this](const qint16* pcm, int count) {
            samples += count;
            for (int i = 0; i < count; ++i)
                loudest = std::max(loudest, std::abs(int(pcm[i])));
        }) {}

    qint64 speak(const QString& text, const QString& voice = u"English (America)"_s) {
        samples = 0;
        ok = engine.speak(text, voice);
        return samples;
    }

    qint64 samples = 0;
    int loudest = 0;
    bool ok = false;
    Espeak engine;
};

} // namespace

TEST(EspeakTest, ListsItsVoicesInTheSystemsTerms) {
    Recorder recorder;
    ASSERT_TRUE(recorder.engine.isAvailable());
    const QList<Voices::Voice> voices = recorder.engine.voices();
    ASSERT_GT(voices.size(), 50);
    const auto find = [&](const QString& name) {
        for (const Voices::Voice& voice : voices)
            if (voice.name == name)
                return voice;
        return Voices::Voice{};
    };
    EXPECT_EQ(find(u"English (America)"_s),
              (Voices::Voice{u"espeak-ng/English (America)"_s, u"English (America)"_s, u"en-US"_s,
                             1, false}));
    EXPECT_EQ(find(u"Chinese (Mandarin, latin as English)"_s).language, u"zh"_s);
    EXPECT_EQ(find(u"Chinese (Cantonese)"_s).language, u"zh-TW"_s);
    for (const Voices::Voice& voice : voices)
        EXPECT_FALSE(voice.isNovelty) << voice.name.toStdString();
}

TEST(EspeakTest, SynthesisYieldsAudioThatGrowsWithTheText) {
    Recorder recorder;
    ASSERT_TRUE(recorder.engine.isAvailable());
    EXPECT_EQ(recorder.engine.sampleRate(), 22050);

    const qint64 shortText = recorder.speak(u"Hello."_s);
    EXPECT_TRUE(recorder.ok);
    // A word lasts a fraction of a second, and it is not silence.
    EXPECT_GT(shortText, 22050 / 10);
    EXPECT_GT(recorder.loudest, 1000);
    const qint64 longText =
        recorder.speak(u"Hello. This sentence is a good deal longer than a single word."_s);
    EXPECT_GT(longText, 3 * shortText);

    // Other scripts speak with their own voices.
    EXPECT_GT(recorder.speak(u"Привет, мир"_s, u"Russian"_s), 22050 / 10);
    EXPECT_GT(recorder.speak(u"你好"_s, u"Chinese (Mandarin, latin as English)"_s), 22050 / 10);
}

TEST(EspeakTest, UnknownVoiceSpeaksNothing) {
    Recorder recorder;
    EXPECT_EQ(recorder.speak(u"Hello."_s, u"No Such Voice"_s), 0);
    EXPECT_FALSE(recorder.ok);
}

TEST(EspeakTest, EnginesTakeTheLibraryInTurn) {
    {
        Recorder first;
        ASSERT_GT(first.speak(u"Hello."_s), 0);
        {
            Recorder second;
            EXPECT_FALSE(second.engine.isAvailable());
            EXPECT_TRUE(second.engine.voices().isEmpty());
            EXPECT_EQ(second.speak(u"Hello."_s), 0);
        }
        // The refused engine left the first one working.
        EXPECT_GT(first.speak(u"Hello."_s), 0);
    }
    // Once the first is gone the next one has the library, after speech as before it.
    Recorder next;
    EXPECT_GT(next.speak(u"Hello."_s), 0);
}
