#pragma once

// The world of a view test: a real application model on the fake services' virtual time, the
// translator on a scripted engine, a store on a temporary file, the speaker on a fake
// synthesiser, and view services that record what the views copy. Header-only: only the
// programs that test views link the views.
#include "app/AppModel.h"
#include "app/views/Theme.h"
#include "app/views/ViewServices.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Speaker.h"
#include "core/Store.h"
#include "core/Translator.h"
#include "support/FakeAppServices.h"
#include "support/FakeEngine.h"
#include "support/FakeSpeech.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMutex>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QWidget>

#include <map>
#include <memory>

namespace tivela::test {

class ViewRig {
public:
    // English, Spanish, German and French; English to and from Spanish and German installed,
    // answering "<target>:<text>"; English to French downloadable.
    ViewRig() {
        QFile::remove(Paths::defaultsFile());
        engine->setLanguages({QStringLiteral("en"), QStringLiteral("es"), QStringLiteral("de"),
                              QStringLiteral("fr")});
        for (const auto& [from, to] : {std::pair{QStringLiteral("en"), QStringLiteral("es")},
                                       {QStringLiteral("es"), QStringLiteral("en")},
                                       {QStringLiteral("de"), QStringLiteral("en")},
                                       {QStringLiteral("en"), QStringLiteral("de")}}) {
            engine->setStatus(from, to, false, EngineStatus::installed);
            engine->setTranslate(from, to, false, [this, to](const QString& text) {
                hold(text);
                return EngineResult<QString>::success(QString(to + u':' + text));
            });
        }
        engine->setStatus(QStringLiteral("en"), QStringLiteral("fr"), false,
                          EngineStatus::supported);
        auto backend = std::make_unique<FakeSpeech>(QList<Voices::Voice>{
            voice(QStringLiteral("espeak-ng/English (America)"), QStringLiteral("en-US")),
            voice(QStringLiteral("espeak-ng/Spanish (Spain)"), QStringLiteral("es-ES"))});
        speech = backend.get();
        speaker = std::make_unique<Speaker>(std::move(backend));

        services.speaker = speaker.get();
        services.hints = [] { return QStringList{QStringLiteral("en"), QStringLiteral("es")}; };
        services.copy = [this](const QString& text) { copied << text; };
        services.enginePackage = [](const QString&, const QString&) { return QString(); };
        services.shortcutText = [] { return QStringLiteral("Ctrl+Alt+T"); };
    }

    // The model's services: production ones on this rig's store and lexicon, the rest fakes.
    AppServices appServices() {
        AppServices app = AppServices::production(store, lexicon);
        app.now = [this] { return time->now(); };
        app.preferredLanguages = [] { return QStringList{QStringLiteral("en-US")}; };
        app.scheduler = time;
        app.dictionary = dictionary;
        app.downloads = downloads;
        app.detection = detection;
        app.pasteboard = pasteboard;
        app.translator = &translator;
        return app;
    }

    AppModel& make() {
        model.reset();
        model = std::make_unique<AppModel>(appServices());
        waitUntil([this] { return !model->languages().isEmpty(); });
        time->advance(0);
        return *model;
    }

    // Lets scheduled work run and waits for the engine's answer.
    void run(int milliseconds = 0) {
        time->advance(milliseconds);
        waitUntil([this] { return !model->translating(); });
        QCoreApplication::processEvents();
    }
    // Waits until every change handed to the store's writer has landed.
    bool landed() {
        return waitUntil([this] { return model->writer().pending().isEmpty(); });
    }

    // Engine calls for a held text wait until the test lets it go, then never again.
    void holdBack(const QString& text) {
        QMutexLocker lock(&m_mutex);
        m_gates[text];
    }
    void letGo(const QString& text) {
        QMutexLocker lock(&m_mutex);
        m_gates.at(text).release(1000);
    }

    QTemporaryDir dir;
    Store store{dir.filePath(QStringLiteral("tivela.sqlite"))};
    Lexicon lexicon{dir.filePath(QStringLiteral("Lexicon"))};
    std::shared_ptr<VirtualTime> time = std::make_shared<VirtualTime>();
    std::shared_ptr<FakeDictionary> dictionary = std::make_shared<FakeDictionary>();
    std::shared_ptr<FakeDownloads> downloads = std::make_shared<FakeDownloads>();
    std::shared_ptr<FakeDetection> detection = std::make_shared<FakeDetection>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    Translator translator{engine};
    FakeSpeech* speech = nullptr;
    std::unique_ptr<Speaker> speaker;
    QStringList copied;
    ViewServices services;
    std::unique_ptr<AppModel> model;

private:
    void hold(const QString& text) {
        QSemaphore* gate = nullptr;
        {
            QMutexLocker lock(&m_mutex);
            if (const auto it = m_gates.find(text); it != m_gates.end())
                gate = &it->second;
        }
        if (gate)
            gate->tryAcquire(1, 10000);
    }

    QMutex m_mutex;
    std::map<QString, QSemaphore> m_gates;
};

// A widget tree drawn into an image at a device pixel ratio, in our light or dark palette.
inline QImage render(QWidget& widget, double ratio = 2) {
    widget.ensurePolished();
    QImage image((QSizeF(widget.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

} // namespace tivela::test
