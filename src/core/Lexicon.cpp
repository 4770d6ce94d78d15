#include "core/Lexicon.h"

#include "core/Graphemes.h"
#include "core/Languages.h"
#include "core/Paths.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

using Term = DictionaryEntry::Term;
using Group = DictionaryEntry::Group;
using Meaning = DictionaryEntry::Meaning;

// Trims whole code points, so characters above U+FFFF are judged as themselves.
template <typename Predicate>
QStringView trimmedWhere(QStringView text, Predicate trims) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end) {
        char32_t point = text[begin].unicode();
        qsizetype width = 1;
        if (text[begin].isHighSurrogate() && begin + 1 < end && text[begin + 1].isLowSurrogate()) {
            point = QChar::surrogateToUcs4(text[begin], text[begin + 1]);
            width = 2;
        }
        if (!trims(point))
            break;
        begin += width;
    }
    while (end > begin) {
        char32_t point = text[end - 1].unicode();
        qsizetype width = 1;
        if (text[end - 1].isLowSurrogate() && end - 2 >= begin && text[end - 2].isHighSurrogate()) {
            point = QChar::surrogateToUcs4(text[end - 2], text[end - 1]);
            width = 2;
        }
        if (!trims(point))
            break;
        end -= width;
    }
    return text.sliced(begin, end - begin);
}

template <typename Predicate>
bool anyPoint(QStringView text, Predicate test) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t point = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            point = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (test(point))
            return true;
    }
    return false;
}

char32_t firstPoint(QStringView text) {
    if (text.size() > 1 && text[0].isHighSurrogate() && text[1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[0], text[1]);
    return text[0].unicode();
}

bool foldsStress(const QString& lang) {
    return lang == "ru"_L1 || lang == "uk"_L1 || lang == "bg"_L1;
}

std::optional<QString> optionalString(const QStringList& list, qsizetype index) {
    return index < list.size() ? std::optional(list[index]) : std::nullopt;
}

// Translations by part of speech, each with the best score it was found with; parts of
// speech keep the order in which they first appeared.
class TermTable {
public:
    void add(QString pos, Term term, double score) {
        if (pos.isEmpty())
            pos = u"other"_s;
        auto list = std::find_if(m_lists.begin(), m_lists.end(),
                                 [&](const PosList& candidate) { return candidate.pos == pos; });
        if (list == m_lists.end()) {
            m_lists.append({pos, {}});
            list = m_lists.end() - 1;
        }
        QString folded = term.text.toLower();
        for (Scored& existing : list->terms) {
            if (existing.folded == folded) {
                existing.score = std::min(existing.score, score);
                return;
            }
        }
        list->terms.append({std::move(term), std::move(folded), score});
    }

    bool isEmpty() const { return m_lists.isEmpty(); }

    QList<Group> groups(const QList<Meaning>& meanings) const {
        struct Ranked {
            qsizetype firstMeaning;
            double best;
            const PosList* list;
        };
        QList<Ranked> ranked;
        for (const PosList& list : m_lists) {
            const auto meaning = std::find_if(meanings.begin(), meanings.end(),
                                              [&](const Meaning& m) { return m.pos == list.pos; });
            const qsizetype first = meaning == meanings.end()
                                        ? std::numeric_limits<qsizetype>::max()
                                        : meaning - meanings.begin();
            double best = std::numeric_limits<double>::infinity();
            for (const Scored& scored : list.terms)
                best = std::min(best, scored.score);
            ranked.append({first, best, &list});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
            return a.firstMeaning != b.firstMeaning ? a.firstMeaning < b.firstMeaning
                                                    : a.best < b.best;
        });
        QList<Group> groups;
        for (const Ranked& rank : ranked) {
            QList<Scored> terms = rank.list->terms;
            std::stable_sort(terms.begin(), terms.end(),
                             [](const Scored& a, const Scored& b) { return a.score < b.score; });
            Group group{rank.list->pos, {}};
            for (qsizetype i = 0; i < terms.size() && i < Lexicon::maxTerms; ++i)
                group.terms.append(terms[i].term);
            groups.append(std::move(group));
        }
        return groups;
    }

private:
    struct Scored {
        Term term;
        QString folded;
        double score;
    };
    struct PosList {
        QString pos;
        QList<Scored> terms;
    };
    QList<PosList> m_lists;
};

Meaning meaningOf(const QString& pos, const QJsonArray& sense) {
    Meaning meaning{pos, sense[0].toString(), std::nullopt, std::nullopt, std::nullopt};
    if (sense.size() > 1 && sense[1].isArray()) {
        const QJsonArray examples = sense[1].toArray();
        if (!examples.isEmpty() && examples[0].isArray()) {
            const QJsonArray pair = examples[0].toArray();
            if (!pair.isEmpty() && pair[0].isString())
                meaning.example = pair[0].toString();
            if (pair.size() > 1 && pair[1].isString())
                meaning.exampleTranslation = pair[1].toString();
        }
    }
    if (sense.size() > 2 && sense[2].isArray()) {
        QStringList tags;
        for (const QJsonValue& tag : sense[2].toArray()) {
            if (tag.isString())
                tags << tag.toString();
        }
        meaning.tags = tags;
    }
    return meaning;
}

// The senses of one record's entries, and its pronunciation and romanisation when the card
// has none yet.
void readEntries(const QList<QJsonArray>& entries, DictionaryEntry& card) {
    for (const QJsonArray& entry : entries) {
        if (entry.size() < 4)
            continue;
        const QString pos = entry[0].toString();
        if (!card.ipa && !entry[1].toString().isEmpty())
            card.ipa = entry[1].toString();
        if (!card.roman && !entry[2].toString().isEmpty())
            card.roman = entry[2].toString();
        for (const QJsonValue& value : entry[3].toArray()) {
            const QJsonArray sense = value.toArray();
            if (sense.isEmpty() || !sense[0].isString())
                continue;
            card.meanings.append(meaningOf(pos, sense));
        }
    }
}

} // namespace

Lexicon::Lexicon(QString directory)
    : m_directory(std::move(directory)) {
}

Lexicon& Lexicon::shared() {
    static Lexicon lexicon(Paths::lexicon());
    return lexicon;
}

QString Lexicon::packPath(const QString& lang) const {
    if (!Languages::lexicon().contains(lang))
        return {};
    return QString(m_directory + u'/' + fileName(lang));
}

QString Lexicon::fileName(const QString& lang) {
    return lang + u".lex.gz"_s;
}

bool Lexicon::isInstalled(const QString& lang) const {
    const QString path = packPath(lang);
    return !path.isEmpty() && QFileInfo::exists(path);
}

std::optional<Lexicon::FileStamp> Lexicon::stamp(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileStamp{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::shared_ptr<const LexiconPack> Lexicon::pack(const QString& lang) {
    const QString path = packPath(lang);
    if (path.isEmpty())
        return nullptr;
    QMutexLocker locker(&m_mutex);
    if (const auto cached = m_packs.constFind(lang); cached != m_packs.constEnd())
        return *cached;
    const auto file = stamp(path);
    if (!file)
        return nullptr;
    if (const auto failed = m_failures.constFind(lang);
        failed != m_failures.constEnd() && *failed == *file)
        return nullptr;
    auto loaded = LexiconPack::load(path, lang);
    if (loaded) {
        m_packs.insert(lang, loaded);
        m_failures.remove(lang);
        QMutexLocker credits(&m_creditMutex);
        m_credits.insert(lang, loaded->credit());
    } else {
        m_failures.insert(lang, *file);
    }
    return loaded;
}

void Lexicon::unload(const QString& lang) {
    QMutexLocker locker(&m_mutex);
    m_packs.remove(lang);
    m_failures.remove(lang);
    QMutexLocker credits(&m_creditMutex);
    m_credits.remove(lang);
}

QString Lexicon::credit(const QString& lang) const {
    QMutexLocker locker(&m_creditMutex);
    return m_credits.value(Languages::lexiconCode(lang));
}

QStringList Lexicon::derivedKeys(const QString& key, const QList<LexiconPack::FormRule>& rules) {
    QStringList keys;
    for (const LexiconPack::FormRule& rule : rules) {
        if (key.size() - rule.ending.size() - rule.prefix.size() < 2 ||
            !key.endsWith(rule.ending) || !key.startsWith(rule.prefix))
            continue;
        const QString base =
            key.sliced(rule.prefix.size(), key.size() - rule.prefix.size() - rule.ending.size()) +
            rule.replacement;
        if (base != key && !keys.contains(base))
            keys << base;
    }
    return keys;
}

QString Lexicon::key(const QString& word, const QString& lang) {
    QString key = trimmedWhere(word, [](char32_t point) {
                      return QChar::isSpace(point) || QChar::isPunct(point);
                  }).toString();
    const bool stress = foldsStress(lang);
    if (stress) {
        key = key.normalized(QString::NormalizationForm_D);
        key.remove(QChar(0x0300));
        key.remove(QChar(0x0301));
    }
    key = key.normalized(QString::NormalizationForm_C).toLower();
    if (stress)
        key.replace(QChar(0x0451), QChar(0x0435));
    return key;
}

QStringList Lexicon::glossTerms(const QString& gloss) {
    QString rest = gloss;
    while (true) {
        const qsizetype open = rest.indexOf(u'(');
        if (open < 0)
            break;
        const qsizetype close = rest.indexOf(u')', open);
        if (close < 0)
            break;
        rest.remove(open, close - open + 1);
    }
    QStringList terms;
    qsizetype start = 0;
    while (start <= rest.size()) {
        qsizetype stop = start;
        while (stop < rest.size() && rest[stop] != u',' && rest[stop] != u';')
            ++stop;
        QStringView piece = QStringView(rest).sliced(start, stop - start);
        start = stop + 1;
        if (piece.isEmpty())
            continue;
        piece = trimmedWhere(piece, [](char32_t point) {
            return point == u'\t' || point == u'.' || point == u':' ||
                   QChar::category(point) == QChar::Separator_Space;
        });
        if (piece.startsWith(u"to "))
            piece = piece.sliced(3);
        if (piece.isEmpty())
            continue;
        const qsizetype words = piece.split(u' ', Qt::SkipEmptyParts).size();
        if (words > 3)
            continue;
        if (!anyPoint(piece, [](char32_t point) { return QChar::isLetter(point); }))
            continue;
        if (QChar::isUpper(firstPoint(piece)) && words != 1)
            continue;
        const QString term = piece.toString();
        if (!terms.contains(term))
            terms << term;
    }
    return terms;
}

std::optional<DictionaryEntry> Lexicon::lookup(const QString& word, const QString& from,
                                               const QString& to) {
    const QString source = Languages::lexiconCode(from);
    const QString target = Languages::lexiconCode(to);
    if (source == target)
        return std::nullopt;
    const QString k = key(word, source);
    if (k.isEmpty() || Graphemes::longerThan(k, maxKeyCharacters))
        return std::nullopt;
    const auto sourcePack = pack(source);
    if (!sourcePack)
        return std::nullopt;

    DictionaryEntry card;
    card.word = word.trimmed();
    card.from = from;
    card.to = to;

    // A word with entries of its own is never looked up through its lemmas.
    const auto record = sourcePack->word(k);
    QStringList candidates{k};
    if (record && !record->e && record->lm) {
        candidates << *record->lm;
    } else if (!record) {
        // A regular form has no line of its own: the pack's ending rules lead to its base
        // forms, of which only words with entries count.
        for (const QString& base : derivedKeys(k, sourcePack->formRules())) {
            const auto found = sourcePack->word(base);
            if (found && found->e && !found->e->isEmpty())
                candidates << base;
        }
    }
    const auto recordOf = [&](qsizetype index) {
        return index == 0 ? record : sourcePack->word(candidates[index]);
    };
    const auto settle = [&](qsizetype index) {
        if (candidates[index] != k && !card.lemma)
            card.lemma = candidates[index];
    };

    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const auto candidate = recordOf(i);
        if (!candidate || !candidate->e)
            continue;
        if (i > 0 && !card.lemma)
            card.lemma = candidates[i];
        readEntries(*candidate->e, card);
        if (!card.meanings.isEmpty())
            break;
    }

    TermTable table;
    if (source == "en"_L1) {
        const auto targetPack = pack(target);
        for (qsizetype c = 0; targetPack && c < candidates.size(); ++c) {
            QStringList ids = targetPack->englishSenses(candidates[c]);
            std::sort(ids.begin(), ids.end());
            for (qsizetype j = 0; j < ids.size(); ++j) {
                const auto sense = targetPack->sense(ids[j]);
                if (!sense || key(sense->en, u"en"_s) != candidates[c])
                    continue;
                for (qsizetype i = 0; i < sense->terms.size(); ++i) {
                    const QStringList& term = sense->terms[i];
                    if (!term.isEmpty())
                        table.add(sense->pos, {term[0], optionalString(term, 1), sense->gloss},
                                  double(i) * 0.3 + double(j));
                }
            }
            if (!table.isEmpty()) {
                settle(c);
                break;
            }
        }
    } else {
        const bool intoEnglish = target == "en"_L1;
        if (intoEnglish) {
            int rank = 0;
            for (const Meaning& meaning : std::as_const(card.meanings)) {
                for (const QString& gloss : glossTerms(meaning.gloss))
                    table.add(meaning.pos, {gloss, std::nullopt, std::nullopt}, rank++);
            }
        }
        const auto targetPack = intoEnglish ? nullptr : pack(target);
        for (qsizetype c = 0; (intoEnglish || targetPack) && c < candidates.size(); ++c) {
            const auto candidate = recordOf(c);
            const QStringList ids = candidate && candidate->s ? *candidate->s : QStringList();
            for (const QString& id : ids) {
                const auto sense = sourcePack->sense(id);
                if (!sense)
                    continue;
                qsizetype position = 3;
                for (qsizetype i = 0; i < sense->terms.size(); ++i) {
                    if (key(sense->terms[i].value(0), source) == candidates[c]) {
                        position = i;
                        break;
                    }
                }
                const double base = 100.0 + 10.0 * double(position);
                if (intoEnglish) {
                    table.add(sense->pos, {sense->en, std::nullopt, sense->gloss}, base);
                    continue;
                }
                const auto translated = targetPack->sense(id);
                if (!translated)
                    continue;
                for (qsizetype i = 0; i < translated->terms.size(); ++i) {
                    const QStringList& term = translated->terms[i];
                    if (!term.isEmpty())
                        table.add(sense->pos, {term[0], optionalString(term, 1), sense->gloss},
                                  base + double(i));
                }
            }
            if (!table.isEmpty()) {
                settle(c);
                break;
            }
        }
    }

    card.groups = table.groups(card.meanings);
    if (card.meanings.size() > maxMeanings)
        card.meanings.resize(maxMeanings);
    if (card.isEmpty())
        return std::nullopt;
    return card;
}

} // namespace tivela
