#pragma once

#include "core/LanguageDetector.h"
#include "core/LanguagePair.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tivela {

class Translator;
class Lexicon;
class LexiconDownloader;
class Speaker;
class Store;

// Everything the bridge host's requests reach beyond the request itself.
struct BridgeServices {
    // The version "hello" reports.
    QString version;
    // All three outlive the requests.
    Store* store = nullptr;
    Translator* translator = nullptr;
    Lexicon* lexicon = nullptr;
    // Made on first use: most conversations never fetch a pack or speak, and neither the
    // downloader's thread nor the speech daemon is free to start. The speaker is used on the
    // requests' thread only.
    std::function<LexiconDownloader&()> downloader;
    std::function<Speaker&()> speaker;
    // The language of a text among every language the recogniser knows, leaning toward the
    // hinted ones; any thread may call it.
    std::function<std::optional<LanguageDetector::Guess>(const QString& text,
                                                         const QStringList& hints)>
        detect;
    // Whether the engine's answer to a text from `from` is no translation: it only repeats a
    // text none of whose words the source language knows. Any thread may call it.
    std::function<bool(const QString& text, const QString& answer, const QString& from)>
        leftUntranslated;
    // Starts what that needs for texts from a language, waiting for nothing.
    std::function<void(const QString& from)> prepareJudging;
    // The pair saved in the settings both programs share.
    std::function<std::optional<LanguagePair>()> savedPair;
    // The global shortcut as the application shows it, when it saved one.
    std::function<std::optional<QString>()> shortcut;
    // Hands a URL to the desktop's handler for its scheme.
    std::function<void(const QString& url)> open;

    // The host's own: the given store and translator, the shared lexicon and downloader, the
    // system's speaker and recogniser, the shared settings and the desktop's URL handlers.
    static BridgeServices production(QString version, Store& store, Translator& translator);
};

} // namespace tivela
