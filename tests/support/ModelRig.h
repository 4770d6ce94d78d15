#pragma once

#include "app/AppModel.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Translator.h"
#include "support/FakeAppServices.h"
#include "support/FakeEngine.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <map>
#include <memory>

// A model on a temporary store, virtual time and a fake engine whose answers name their target
// ("es:hello"), for the tests of the model and of the parts it owns.
namespace tivela::test {

using namespace Qt::StringLiterals;

class ModelRig : public ::testing::Test {
protected:
    ModelRig() {
        QFile::remove(Paths::defaultsFile());
        engine->setLanguages({u"en"_s, u"es"_s, u"de"_s, u"fr"_s});
        for (const auto& [from, to] : {std::pair{u"en"_s, u"es"_s},
                                       {u"es"_s, u"en"_s},
                                       {u"de"_s, u"en"_s},
                                       {u"en"_s, u"de"_s}}) {
            engine->setStatus(from, to, false, EngineStatus::installed);
            engine->setTranslate(from, to, false, [this, to](const QString& text) {
                record(&m_asked, text);
                wait(text);
                return EngineResult<QString>::success(QString(to + u':' + text));
            });
        }
        engine->setBatch(u"en"_s, u"de"_s, false, [this](const QList<EngineRequest>& requests) {
            QStringList texts;
            QList<EngineResponse> answers;
            for (const EngineRequest& request : requests) {
                texts << request.sourceText;
                const bool kept = request.sourceText == u"Paris"_s;
                answers << EngineResponse{request.clientIdentifier,
                                          kept ? request.sourceText
                                               : u"de:"_s + request.sourceText};
            }
            record(&m_batches, texts);
            wait(texts.first());
            if (refuseBatches)
                return EngineResult<QList<EngineResponse>>::failure(u"refused"_s);
            return EngineResult<QList<EngineResponse>>::success(answers);
        });
    }

    AppModel& make(const QStringList& preferred = {u"en-US"_s}, bool realDictionary = false) {
        model.reset();
        AppServices services = AppServices::production(store, lexicon);
        services.now = [this] { return time->now(); };
        services.preferredLanguages = [preferred] { return preferred; };
        services.scheduler = time;
        services.fits = [this, real = services.fits](const QString& text, double size, double width,
                                                     double height) {
            ++measured;
            return real(text, size, width, height);
        };
        if (!realDictionary)
            services.dictionary = dictionary;
        services.downloads = downloads;
        services.detection = detection;
        services.pasteboard = pasteboard;
        services.translator = &translator;
        model = std::make_unique<AppModel>(services);
        EXPECT_TRUE(test::waitUntil([this] { return !model->languages().isEmpty(); }));
        time->advance(0);
        return *model;
    }

    template <typename List, typename Value>
    void record(List* list, const Value& value) {
        QMutexLocker lock(&m_mutex);
        *list << value;
    }
    QStringList asked() {
        QMutexLocker lock(&m_mutex);
        return m_asked;
    }
    QList<QStringList> batches() {
        QMutexLocker lock(&m_mutex);
        return m_batches;
    }

    // Engine calls for a blocked text wait until the test releases it.
    void block(const QString& text) { gates[text]; }
    void release(const QString& text) { gates.at(text).release(); }
    void wait(const QString& text) {
        if (const auto it = gates.find(text); it != gates.end())
            it->second.tryAcquire(1, 10000);
    }

    // Lets the scheduled translation run and waits for the engine's answer.
    void run(int milliseconds = 0) {
        time->advance(milliseconds);
        ASSERT_TRUE(test::waitUntil([this] { return !model->translating(); }));
    }
    // Waits until every change handed to the store's writer has landed.
    void landed() {
        ASSERT_TRUE(test::waitUntil([this] { return model->writer().pending().isEmpty(); }));
    }

    QTemporaryDir dir;
    Store store{dir.filePath(u"tivela.sqlite"_s)};
    Lexicon lexicon{dir.filePath(u"Lexicon"_s)};
    std::shared_ptr<test::VirtualTime> time = std::make_shared<test::VirtualTime>();
    std::shared_ptr<test::FakeDictionary> dictionary = std::make_shared<test::FakeDictionary>();
    std::shared_ptr<test::FakeDownloads> downloads = std::make_shared<test::FakeDownloads>();
    std::shared_ptr<test::FakeDetection> detection = std::make_shared<test::FakeDetection>();
    std::shared_ptr<test::FakePasteboard> pasteboard = std::make_shared<test::FakePasteboard>();
    // What the engine was asked, from the translator's threads.
    QMutex m_mutex;
    QStringList m_asked;
    QList<QStringList> m_batches;
    // Set up before the engine is asked.
    std::map<QString, QSemaphore> gates;
    std::atomic<bool> refuseBatches = false;
    int measured = 0;
    std::shared_ptr<test::FakeEngine> engine = std::make_shared<test::FakeEngine>();
    Translator translator{engine};
    std::unique_ptr<AppModel> model;
};

} // namespace tivela::test
