#include "Mueller.h"

#include <QHash>
#include <QRegularExpression>

#include <optional>

using namespace Qt::StringLiterals;

namespace tivela::packbuild::Mueller {

namespace {

struct Senses {
    QStringList texts;
    QStringList parts;
};

// The senses of the article's lines after its headline, each with its part of speech; the
// transcription goes to the entry.
Senses senses(const QStringList& lines, FreeDict::Entry& entry) {
    static const QRegularExpression sense(u"^(\\d+)\\)\\s*"_s);
    static const QRegularExpression posLine(u"^(?:_[IVX]+\\s*)?(?:\\d+\\.\\s*)?(_[^\\s.]+\\.)"_s);
    static const QRegularExpression transcription(u"\\[[^\\]]*\\]"_s);
    static const QRegularExpression homonym(u"^_[IVX]+\\s*"_s);
    static const QRegularExpression parenthesised(u"\\([^()]*\\)|\\{[^}]*\\}"_s);
    static const QRegularExpression subSense(u"^[а-я]\\)"_s);
    static const QHash<QString, QString> parts{
        {u"_n."_s, u"noun"_s},      {u"_v."_s, u"verb"_s},     {u"_a."_s, u"adj"_s},
        {u"_adv."_s, u"adv"_s},     {u"_prep."_s, u"prep"_s},  {u"_pron."_s, u"pron"_s},
        {u"_cj."_s, u"conj"_s},     {u"_int."_s, u"intj"_s},   {u"_num."_s, u"num"_s},
        {u"_interj."_s, u"intj"_s}, {u"_n-card."_s, u"num"_s}, {u"_n-ord."_s, u"adj"_s}};
    // Notes on the forms' pronunciation may stand before a part of speech ("[ænd] (полная
    // форма); [ɜnd] (редуцированные формы) _cj.").
    static const QRegularExpression notesFirst(u"^(?:\\([^()]*\\)[;,\\s]*)+(?=_)"_s);
    Senses found;
    QString pos;
    bool inSub = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString text = lines[i].trimmed();
        if (text.isEmpty())
            continue;
        if (entry.ipa.isEmpty()) {
            const auto match = transcription.match(text);
            if (match.hasMatch())
                entry.ipa = match.captured().mid(1).chopped(1).remove(u'↗');
        }
        text.remove(transcription);
        text.remove(homonym);
        text = text.trimmed();
        if (posLine.match(text.mid(notesFirst.match(text).capturedLength())).hasMatch())
            text.remove(notesFirst);
        if (const auto match = posLine.match(text);
            match.hasMatch() && parts.contains(match.captured(1))) {
            pos = parts.value(match.captured(1));
            text = text.mid(match.capturedLength()).trimmed();
            inSub = false;
            // "1. _n. (_pl. men)": only notes; a sense after the part of speech is one, and so
            // is one of a plural noun ("_n. _pl. (употр. как sing) семантика").
            text.remove(parenthesised);
            if (text.trimmed().startsWith(u"_pl."_s))
                text = text.trimmed().mid(4);
            text = text.trimmed();
            if (text.isEmpty() || text.startsWith(u','))
                continue;
            found.texts << text;
            found.parts << pos;
            continue;
        }
        if (const auto match = sense.match(text); match.hasMatch()) {
            found.texts << text.mid(match.capturedLength());
            found.parts << pos;
            inSub = false;
            continue;
        }
        if (subSense.match(text).hasMatch())
            inSub = true;
        // A continued line of the sense, unless it is inside an idiom's own numbered senses.
        if (!found.texts.isEmpty() && !inSub)
            found.texts.last() += u' ' + text;
    }
    return found;
}

// The translations of one sense, before its idioms; nothing for a reference or an
// attributive use, which translate nothing of their own.
std::optional<FreeDict::Group> group(QString text, const QString& pos) {
    static const QRegularExpression parenthesised(u"\\([^()]*\\)|\\{[^}]*\\}"_s);
    static const QRegularExpression latin(u"[A-Za-z]"_s);
    static const QRegularExpression label(u"^_(\\S+?)\\.\\s*"_s);
    QStringList labels;
    while (true) {
        const auto match = label.match(text);
        if (!match.hasMatch())
            break;
        labels << match.captured(1) + u'.';
        text = text.mid(match.capturedLength());
    }
    if (text.startsWith(u'=') || labels.contains(u"attr."_s))
        return std::nullopt;
    while (text.contains(parenthesised))
        text.remove(parenthesised);
    FreeDict::Group group;
    group.pos = pos;
    group.labels = labels;
    // A function word's sense names the kind of word before it ("соединительный союз и") or
    // describes its use instead of translating it ("указывает на принадлежность").
    static const QRegularExpression kind(u"^\\s*(?:\\S+\\s+)?(?:союз|предлог|частица)\\s+"_s);
    static const QRegularExpression use(
        u"^\\s*(?:указывает|служит|передаётся|вспомогательный|служебный|употребляется)"_s);
    for (QString piece : text.split(u';')) {
        // The idioms of a sense follow its translations: the first English word ends them.
        if (piece.contains(latin) || piece.contains(u'_'))
            break;
        if (use.match(piece).hasMatch())
            continue;
        piece.remove(kind);
        for (QString term : piece.split(u',')) {
            term = FreeDict::normalised(FreeDict::withoutPlaceholders(term).simplified());
            if (term.isEmpty() || term.startsWith(u'-') || term.contains(u'=') ||
                term.contains(u':') || term.split(u' ').size() > 4 || group.terms.contains(term))
                continue;
            group.terms << term;
            group.termLabels << labels;
        }
    }
    return group;
}

} // namespace

FreeDict::Entry parse(const QString& article) {
    FreeDict::Entry entry;
    const QStringList lines = article.split(u'\n');
    entry.headword = FreeDict::normalised(lines.value(0).trimmed());
    const Senses found = senses(lines, entry);
    for (qsizetype s = 0; s < found.texts.size(); ++s) {
        const auto translations = group(found.texts[s], found.parts[s]);
        if (translations && !translations->terms.isEmpty())
            entry.groups << *translations;
    }
    return entry;
}

} // namespace tivela::packbuild::Mueller
