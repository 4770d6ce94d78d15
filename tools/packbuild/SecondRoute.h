#pragma once

#include "Ding.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela::packbuild {

// A route into English through a language that Apertium pairs with the word's own (Danish for
// Swedish) and that FreeDict translates into English: the word's translations by Apertium's
// bilingual dictionary, then every English word of their articles. FreeDict's small
// dictionaries list a line's words in no order of use ("earn, gain, win"), so a line tells no
// common sense: the route counts only where it agrees with another route, where all it
// reaches is one English word, or for the English word that is the word's own.
class SecondRoute {
public:
    // Reads FreeDict's dictionary from the language in between into English (a dictd base
    // path); its edition, or nothing when it is missing.
    std::optional<QString> loadDictionary(const QString& base, const QString& lang);
    // The headwords of the dictionary, the words of the language in between it translates.
    QStringList headwords() const;
    // A word (by key) translates a word of the language in between of this part of speech
    // (empty when unknown): the English words of its article reach the word.
    void addTranslation(const QString& wordKey, const QString& between, const QString& pos);

    // The English words a word reaches, each once, with their parts of speech.
    QList<Ding::Sense> english(const QString& wordKey) const { return m_reached.value(wordKey); }
    // The words that reach any English word.
    QStringList words() const;

private:
    QString m_lang;
    QHash<QString, QList<Ding::Sense>> m_articles;
    QHash<QString, QList<Ding::Sense>> m_reached;
};

// Fills a route's translations through Apertium: the words and the words of the language in
// between that its dictionary's headwords translate back (through the reverse analyser and
// bilingual dictionary) are read by the language's analyser and translated by the bilingual
// dictionary. Paths below the Apertium folder; false with a message when a program fails.
struct SecondRoutePaths {
    QString analyser;
    QString there;
    QString reverseAnalyser;
    QString back;
};
bool translateRoute(const SecondRoutePaths& paths, const QString& lang, QStringList words,
                    SecondRoute& route, QString* error);

} // namespace tivela::packbuild
