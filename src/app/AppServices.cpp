#include "app/AppServices.h"

#include "core/AppleTranslator.h"
#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "core/TextFit.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <QUuid>

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
        : lexicon_(lexicon) {}

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) override {
        return lexicon_.lookup(word, from, to);
    }
    bool isInstalled(const QString& lang) override { return lexicon_.isInstalled(lang); }

private:
    Lexicon& lexicon_;
};

class RecognizerDetection : public Detection {
public:
    std::optional<QString> detect(const QString& text, const QSet<QString>& allowed,
                                  const QStringList& hints) override {
        if (const auto guess = LanguageDetector::detect(text, allowed, hints))
            return guess->code;
        return std::nullopt;
    }
    bool isSingleWord(const QString& text) override { return LanguageDetector::isSingleWord(text); }
};

class SharedPairSettings : public PairSettings {
public:
    std::optional<LanguagePair> pair() override { return SharedSettings::pair(); }
    void setPair(const LanguagePair& pair) override { SharedSettings::setPair(pair); }
};

// The clipboard has no change count of its own: every change it announces moves ours.
class SystemPasteboard : public Pasteboard {
public:
    SystemPasteboard() {
        if (QClipboard* clipboard = systemClipboard())
            QObject::connect(clipboard, &QClipboard::dataChanged, &receiver_,
                             [this] { ++changes_; });
    }

    qint64 changeCount() override { return changes_; }
    bool hasText() override {
        const QClipboard* clipboard = systemClipboard();
        const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
        return data && data->hasText();
    }
    std::optional<QString> text() override {
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

    QObject receiver_;
    qint64 changes_ = 0;
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
    services.translator = &AppleTranslator::shared();
    services.store = &store;
    return services;
}

} // namespace tivela
