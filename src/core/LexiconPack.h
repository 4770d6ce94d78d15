#pragma once

#include "core/Gzip.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace tivela {

// One dictionary pack held whole in memory: the decompressed text and the offsets of its key
// lines. Queries are binary searches over the keys in UTF-16 order; only the value found is
// decoded. Immutable once loaded, so any number of threads may query it without a lock.
class LexiconPack {
public:
    // The JSON object of a word line. A field is present only when the record has it and it
    // is not null.
    struct WordRecord {
        // The word's own entries: each [pos, ipa, romanisation, senses].
        std::optional<QList<QJsonArray>> e;
        // Lemma keys of the base forms of an inflected or variant form.
        std::optional<QStringList> lm;
        // Ids of the English senses this word translates.
        std::optional<QStringList> s;
    };

    // One English sense as a pack records it: headword, part of speech, gloss and the terms
    // of the pack's language ([text] or [text, romanisation]).
    struct Sense {
        QString en;
        QString pos;
        QString gloss;
        QList<QStringList> terms;
    };

    enum class Inflater {
        // The whole input at once, member by member (libdeflate).
        Fastest,
        // Streaming (zlib), as downloads are checked.
        Streaming,
    };

    // Line offsets are signed 32-bit numbers, so a text must stay below 2^31 bytes.
    static constexpr qint64 maxTextSize = std::numeric_limits<qint32>::max();
    // A pack file is a few megabytes: a download or an installed file larger than this is no
    // pack, and is never read whole into memory.
    static constexpr qint64 maxFileSize = qint64(32) << 20;

    // Memory of a text of its own, mapped in huge pages where the system offers them: on
    // some machines faulting a large text in page by page costs more than inflating it.
    class Text {
    public:
        Text() = default;
        Text(Text&& other) noexcept;
        Text& operator=(Text&& other) noexcept;
        ~Text();

        // Keeps the content up to the smaller size; false when the memory is not there.
        bool resize(qsizetype size);
        char* data() { return m_data; }
        const char* data() const { return m_data; }
        qsizetype size() const { return m_size; }
        QByteArrayView view() const { return {m_data, m_size}; }

    private:
        char* m_data = nullptr;
        qsizetype m_size = 0;
        size_t m_mapped = 0;
    };

    // Checks bytes as they stream past, holding no copy of the text: a pack is a sequence of
    // intact gzip members with nothing after them, or plain text beginning with "#".
    class Validator {
    public:
        explicit Validator(qint64 limit = maxTextSize);
        ~Validator();
        Validator(const Validator&) = delete;
        Validator& operator=(const Validator&) = delete;

        // False once the bytes seen so far cannot be a pack.
        bool add(QByteArrayView chunk);
        // Whether everything added was a complete pack.
        bool finish();

    private:
        qint64 m_limit;
        qint64 m_seen = 0;
        bool m_plain = false;
        bool m_failed = false;
        std::unique_ptr<Gzip::Stream> m_gzip;
    };

    // Reads, inflates and indexes a pack file; nothing when it cannot be read, is larger than
    // maxFileSize or is no pack.
    static std::shared_ptr<const LexiconPack> load(const QString& path, const QString& lang);
    // Streams a file through a Validator.
    static bool validate(const QString& path, qint64 limit = maxTextSize);
    // The concatenated content of every gzip member, each checked against its trailer;
    // nothing for damaged data or a text longer than limit.
    static std::optional<Text> gunzip(QByteArrayView data, Inflater inflater = Inflater::Fastest,
                                      qint64 limit = maxTextSize);

    const QString& lang() const { return m_lang; }
    qsizetype lineCount() const { return qsizetype(m_starts.size()); }
    qsizetype textSize() const { return m_text.size(); }

    // The value bytes of the key line whose key is exactly key (kind letter included).
    std::optional<QByteArray> raw(QStringView key) const;
    std::optional<WordRecord> word(const QString& key) const;
    std::optional<Sense> sense(const QString& id) const;
    // The sense ids of an English word's line; empty when there is none or it is malformed.
    QStringList englishSenses(const QString& word) const;
    // The lines of one kind, their keys without the kind letter, in the pack's order; they
    // point into the pack's text.
    struct Line {
        QByteArrayView key;
        QByteArrayView value;
    };
    std::vector<Line> lines(char kind) const;

    // One regular way from an inflected form to its base form: the form's ending and what
    // replaces it ("e" and "" for "Hunde"), and a beginning that goes too ("ge" of "gemacht").
    struct FormRule {
        QString ending;
        QString replacement;
        QString prefix;
    };
    // The regular endings of the language's inflected forms, in the order they are tried. A
    // form that these rules lead to its base form has no line of its own. Empty for packs
    // without the "f" line.
    const QList<FormRule>& formRules() const { return m_formRules; }
    // The sources and licences of the pack as its header names them ("# credit: ..."), for the
    // card's footer; empty for packs without that line.
    const QString& credit() const { return m_credit; }

private:
    LexiconPack(QString lang, Text text);

    QString m_lang;
    Text m_text;
    std::vector<qint32> m_starts;
    QList<FormRule> m_formRules;
    QString m_credit;
};

} // namespace tivela
