#pragma once

#include "core/DictionaryEntry.h"
#include "core/LanguagePair.h"

#include <QFuture>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tivela {

class Translator;
class Lexicon;
class Store;

// Runs work once, later, on the thread of a context object, and not at all when the object is
// gone by then. A delay of 0 still runs only after the caller has returned.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual void singleShot(int milliseconds, QObject* context, std::function<void()> work) = 0;
};

// The word cards of the dictionary. Any thread may call it.
class Dictionary {
public:
    virtual ~Dictionary() = default;
    virtual std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                                  const QString& to) = 0;
    // The code is a pack's code, already folded.
    virtual bool isInstalled(const QString& lang) = 0;
};

// Fetching dictionary packs. Any thread may call it.
class PackDownloads {
public:
    virtual ~PackDownloads() = default;
    // Whether every pack of these languages is installed afterwards.
    virtual QFuture<bool> ensure(const QStringList& codes) = 0;
    // The packs a pair needs.
    virtual QStringList packs(const QString& from, const QString& to) = 0;
};

// Language detection over the recogniser.
class Detection {
public:
    virtual ~Detection() = default;
    // The code of the language of a text among every language the recogniser knows, not only
    // the engine's, leaning toward the hinted ones; nothing without a guess. A text in a
    // language the engine lacks is thus named as such, and its translation fails honestly.
    virtual std::optional<QString> detect(const QString& text, const QStringList& hints) = 0;
    virtual bool isSingleWord(const QString& text) = 0;

    // Whether the engine's answer to a text from `from` only repeats a text none of whose words
    // the source language knows: the engine passes words it does not know through as they
    // are. A name or a number that translates to itself is a translation. Any thread may call
    // it; off the main thread it may wait a bounded time for the word analysers.
    virtual bool leftUntranslated(const QString& text, const QString& answer,
                                  const QString& from) = 0;
};

// The language pair saved in the settings both programs share.
class PairSettings {
public:
    virtual ~PairSettings() = default;
    virtual std::optional<LanguagePair> pair() = 0;
    virtual void setPair(const LanguagePair& pair) = 0;
};

// The general clipboard.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    // A number that moves whenever the content changes.
    virtual qint64 changeCount() = 0;
    virtual bool hasText() = 0;
    // Plain text, when the clipboard offers some.
    virtual std::optional<QString> text() = 0;
};

// Everything the application model waits on or reads from the system.
struct AppServices {
    // Seconds since 1970.
    std::function<double()> now;
    // A new identifier for a history row or a card.
    std::function<QString()> newId;
    // The user's preferred languages as platform identifiers, most preferred first.
    std::function<QStringList()> preferredLanguages;
    // Whether a text fits a box at a font size without breaking a word.
    std::function<bool(const QString& text, double size, double width, double height)> fits;
    std::shared_ptr<Scheduler> scheduler;
    std::shared_ptr<Dictionary> dictionary;
    std::shared_ptr<PackDownloads> downloads;
    std::shared_ptr<Detection> detection;
    std::shared_ptr<PairSettings> settings;
    std::shared_ptr<Pasteboard> pasteboard;
    // Both outlive the model.
    Translator* translator = nullptr;
    Store* store = nullptr;

    // The translator's translation of a text, failing ("left untranslated") when it is none
    // (Detection::leftUntranslated). That is judged on the translator's thread as the answer
    // arrives, where a wait for the word analysers holds up no one.
    QFuture<QString> translation(const QString& text, const QString& from, const QString& to) const;

    // The application's own: the system clock, timers, locale, fonts and clipboard, the shared
    // translator, the recogniser, the shared settings, the given store and lexicon, and the
    // shared pack downloader.
    static AppServices production(Store& store, Lexicon& lexicon);
};

} // namespace tivela
