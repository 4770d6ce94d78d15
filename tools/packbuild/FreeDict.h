#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace tivela::packbuild {

// A FreeDict dictionary as Debian installs it for dictd: an index of headwords with the
// base64 offsets and lengths of their articles, and the articles in a .dict or dictzip
// .dict.dz file.
class FreeDict {
public:
    // One translation line of an article: its terms, the labels in square brackets, and the
    // examples ("source" - "translation") that follow it.
    struct Group {
        QStringList terms;
        // The labels of each term ("Br.", "techn."), in the order of terms; a label written
        // before the first term belongs to every term of the line.
        QList<QStringList> termLabels;
        QStringList labels;
        QList<QPair<QString, QString>> examples;
        // The part of speech a numbered article names for this line ("<N>", "_n."), when the
        // headline names none.
        QString pos;
    };

    struct Entry {
        QString headword;
        QString ipa;
        // As the article writes it between angle brackets, for example "n, masc" or "vt".
        QString pos;
        QList<Group> groups;
        // Headwords the article refers to with "see:".
        QStringList see;
    };

    // How a dictionary writes its articles.
    enum class Style {
        // FreeDict's TEI export: a headline, then one line of terms per sense.
        FreeDict,
        // FreeDict's Polish-English: lines of English terms, each followed by Polish
        // definitions that are no translations.
        PolishEnglish,
        // Mueller's English-Russian: numbered senses with "_n."-style labels, idioms after
        // the translations.
        Mueller,
    };

    // Hands each article to a visitor in the order of the file instead of keeping them: a
    // large dictionary's articles need not all be in memory at once. With headlinesOnly, only
    // the headline (headword, transcription, part of speech) of each is read.
    bool read(const QString& base, Style style, QString* error,
              const std::function<void(Entry&&)>& visit, bool headlinesOnly = false);

    // The text of the "00-database-info" article: edition, licence and sources.
    const QString& info() const { return m_info; }
    // The value of a "Key: value" line of the info article, such as "Edition".
    QString infoField(const QString& key) const;
    // The indented paragraph under a heading of the info article, such as "Availability"
    // (copyright and licence), on one line.
    QString infoSection(const QString& heading) const;

    static Entry parse(const QString& article, Style style = Style::FreeDict);
    // The placeholders of a verb's objects ("etw. nehmen", "что-л. делать") stand for no word
    // of the translation: the text without them.
    static QString withoutPlaceholders(const QString& text);
    // Compatibility ligatures ("ĳ", "ﬁ") written out as their letters, the rest composed: what
    // a person types.
    static QString normalised(const QString& text);
    // Whether a label marks a special use (a trade, a region, a register) rather than the
    // thing itself ("zool.", "ling.").
    static bool specialist(const QString& label);

private:
    QString m_info;
};

} // namespace tivela::packbuild
