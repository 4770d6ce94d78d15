#include "app/AppServices.h"

#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "core/TextFit.h"
#include "core/Translator.h"
#include "platform/Defaults.h"
#include "platform/recognizer/PassThrough.h"
#include "platform/x11/XSelection.h"

#include <QClipboard>
#include <QDateTime>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QMimeData>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

class TimerScheduler : public Scheduler {
public:
    void singleShot(int milliseconds, QObject* context, std::function<void()> work) override {
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, context, std::move(work));
    }
};

class LexiconDictionary : public Dictionary {
public:
    explicit LexiconDictionary(Lexicon& lexicon)
        : m_lexicon(lexicon) {}

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) override {
        return m_lexicon.lookup(word, from, to);
    }
    bool isInstalled(const QString& lang) override { return m_lexicon.isInstalled(lang); }

private:
    Lexicon& m_lexicon;
};

class RecognizerDetection : public Detection {
public:
    std::optional<QString> detect(const QString& text, const QStringList& hints) override {
        if (const auto guess = Defaults::detectAny(text, hints))
            return guess->code;
        return std::nullopt;
    }
    bool isSingleWord(const QString& text) override { return LanguageDetector::isSingleWord(text); }
    bool leftUntranslated(const QString& text, const QString& answer,
                          const QString& from) override {
        return Defaults::leftUntranslated(text, answer, from);
    }
};

class SharedPairSettings : public PairSettings {
public:
    std::optional<LanguagePair> pair() override { return SharedSettings::pair(); }
    void setPair(const LanguagePair& pair) override { SharedSettings::setPair(pair); }
};

// The clipboard has no change count of its own: every change it announces moves ours.
// On X11 the clipboard is another program's, and Qt waits 5 s for each answer of an owner that
// does not give one; the 1 s clipboard timer would freeze the popover. So the owner is asked
// on a thread of our own with a deadline, and its answer, when it arrives, moves the count
// again.
class SystemPasteboard : public Pasteboard {
public:
    static constexpr int askMilliseconds = 1000;

    SystemPasteboard() {
        m_pool.setMaxThreadCount(1);
        if (QClipboard* clipboard = systemClipboard())
            QObject::connect(clipboard, &QClipboard::dataChanged, &m_receiver, [this] {
                ++m_changes;
                askOwner();
            });
        askOwner();
    }
    ~SystemPasteboard() override { m_pool.waitForDone(); }

    qint64 changeCount() override { return m_changes; }
    bool hasText() override {
        if (ownerIsElsewhere())
            return m_ownerHasText;
        const QClipboard* clipboard = systemClipboard();
        const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
        return data && data->hasText();
    }
    std::optional<QString> text() override {
        if (ownerIsElsewhere()) {
            XConnection connection;
            return XSelection::text(connection, connection.atom("CLIPBOARD"),
                                    QDeadlineTimer(askMilliseconds));
        }
        if (!hasText())
            return std::nullopt;
        return systemClipboard()->text();
    }

private:
    // Only a process with a display has a clipboard.
    static QClipboard* systemClipboard() {
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                   ? QGuiApplication::clipboard()
                   : nullptr;
    }
    static bool onX11() { return systemClipboard() && QGuiApplication::platformName() == u"xcb"; }
    static bool ownerIsElsewhere() { return onX11() && !systemClipboard()->ownsClipboard(); }

    // One question at a time; changes meanwhile ask once more after it.
    void askOwner() {
        if (!onX11())
            return;
        if (m_asking) {
            m_askAgain = true;
            return;
        }
        m_asking = true;
        m_askAgain = false;
        auto* watcher = new QFutureWatcher<bool>(&m_receiver);
        QObject::connect(watcher, &QFutureWatcherBase::finished, &m_receiver, [this, watcher] {
            watcher->deleteLater();
            m_asking = false;
            const bool hasText = watcher->future().result();
            if (hasText != m_ownerHasText) {
                m_ownerHasText = hasText;
                ++m_changes;
            }
            if (m_askAgain)
                askOwner();
        });
        watcher->setFuture(QtConcurrent::run(&m_pool, [] {
            XConnection connection;
            return XSelection::hasText(connection, connection.atom("CLIPBOARD"),
                                       QDeadlineTimer(askMilliseconds))
                .value_or(false);
        }));
    }

    QObject m_receiver;
    qint64 m_changes = 0;
    bool m_ownerHasText = false;
    bool m_asking = false;
    bool m_askAgain = false;
    // Last: its thread ends before the rest goes.
    QThreadPool m_pool;
};

// The process's one downloader, made on first use.
class LexiconDownloads : public PackDownloads {
public:
    QFuture<bool> ensure(const QStringList& codes) override {
        return LexiconDownloader::shared().ensure(codes);
    }
    QStringList packs(const QString& from, const QString& to) override {
        return LexiconDownloader::packs(from, to);
    }
};

} // namespace

QFuture<QString> AppServices::translation(const QString& text, const QString& from,
                                          const QString& to) const {
    return translator->translate(text, from, to, false)
        .then(QtFuture::Launch::Sync, [detection = detection, text, from](const QString& answer) {
            if (detection->leftUntranslated(text, answer, from))
                throw PassThrough::failure();
            return answer;
        });
}

AppServices AppServices::production(Store& store, Lexicon& lexicon) {
    AppServices services;
    services.now = [] { return double(QDateTime::currentMSecsSinceEpoch()) / 1000; };
    services.newId = [] { return QUuid::createUuid().toString(QUuid::WithoutBraces); };
    services.preferredLanguages = [] { return Languages::preferredLanguages(); };
    services.fits = [](const QString& text, double size, double width, double height) {
        return TextMeasure::fits(text, size, width, height);
    };
    services.scheduler = std::make_shared<TimerScheduler>();
    services.dictionary = std::make_shared<LexiconDictionary>(lexicon);
    services.downloads = std::make_shared<LexiconDownloads>();
    services.detection = std::make_shared<RecognizerDetection>();
    services.settings = std::make_shared<SharedPairSettings>();
    services.pasteboard = std::make_shared<SystemPasteboard>();
    services.translator = &Defaults::translator();
    services.store = &store;
    return services;
}

} // namespace tivela
