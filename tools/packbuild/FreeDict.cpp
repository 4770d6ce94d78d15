#include "FreeDict.h"

#include "Mueller.h"

#include "core/LexiconPack.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

std::optional<qint64> base64Number(QByteArrayView text) {
    static constexpr std::string_view digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    qint64 value = 0;
    for (const char c : text) {
        const size_t digit = digits.find(c);
        if (digit == std::string_view::npos || value > (qint64(1) << 40))
            return std::nullopt;
        value = value * 64 + qint64(digit);
    }
    return value;
}

// Splits at commas and semicolons outside brackets of any kind. A comma between digits is
// part of a chemical name or a number ("1,2-dihydroxybenzene", "1,5"), not a separator.
QStringList splitTerms(const QString& line) {
    QStringList terms;
    int depth = 0;
    QString current;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'(' || c == u'[' || c == u'<' || c == u'{')
            ++depth;
        else if ((c == u')' || c == u']' || c == u'>' || c == u'}') && depth > 0)
            --depth;
        const bool numeral = c == u',' && i > 0 && line[i - 1].isDigit() && i + 1 < line.size() &&
                             line[i + 1].isDigit();
        if (depth == 0 && (c == u',' || c == u';') && !numeral) {
            terms << current;
            current.clear();
        } else {
            current += c;
        }
    }
    terms << current;
    return terms;
}

} // namespace

QString FreeDict::infoField(const QString& key) const {
    const QRegularExpression field(u"^\\s*"_s + QRegularExpression::escape(key) + u":\\s*(.+)$"_s,
                                   QRegularExpression::MultilineOption);
    return field.match(m_info).captured(1).trimmed();
}

QString FreeDict::infoSection(const QString& heading) const {
    QStringList lines;
    bool inside = false;
    for (const QString& line : m_info.split(u'\n')) {
        if (line.trimmed() == heading + u':') {
            inside = true;
            continue;
        }
        if (inside && !line.isEmpty() && !line.front().isSpace())
            break;
        if (inside)
            lines << line.trimmed();
    }
    return lines.join(u' ').simplified();
}

bool FreeDict::read(const QString& base, Style style, QString* error,
                    const std::function<void(Entry&&)>& visit, bool headlinesOnly) {
    QFile index(base + u".index"_s);
    QFile dict(base + u".dict.dz"_s);
    if (!dict.exists())
        dict.setFileName(base + u".dict"_s);
    if (!index.open(QIODevice::ReadOnly) || !dict.open(QIODevice::ReadOnly)) {
        *error = u"cannot read "_s + base + u".index and .dict(.dz)"_s;
        return false;
    }
    // The inflated text is read where it lies, without a copy: Ding's is a hundred megabytes.
    QByteArray raw = dict.readAll();
    std::optional<LexiconPack::Text> inflated;
    if (dict.fileName().endsWith(u".dz"_s)) {
        inflated = LexiconPack::gunzip(raw);
        if (!inflated) {
            *error = dict.fileName() + u" is not gzip data"_s;
            return false;
        }
        raw = {};
    }
    const QByteArrayView plain = inflated ? inflated->view() : QByteArrayView(raw);

    // The index is read line by line where it lies: Ding's has three hundred thousand.
    const QByteArray indexText = index.readAll();
    std::vector<std::pair<qint64, qint64>> spans;
    for (qsizetype start = 0; start < indexText.size();) {
        qsizetype end = indexText.indexOf('\n', start);
        if (end < 0)
            end = indexText.size();
        const QByteArrayView line = QByteArrayView(indexText).sliced(start, end - start);
        start = end + 1;
        const qsizetype firstTab = line.indexOf('\t');
        const qsizetype secondTab = firstTab < 0 ? -1 : line.indexOf('\t', firstTab + 1);
        if (secondTab < 0)
            continue;
        qsizetype thirdTab = line.indexOf('\t', secondTab + 1);
        if (thirdTab < 0)
            thirdTab = line.size();
        const QByteArrayView headword = line.first(firstTab);
        const auto offset = base64Number(line.sliced(firstTab + 1, secondTab - firstTab - 1));
        const auto length = base64Number(line.sliced(secondTab + 1, thirdTab - secondTab - 1));
        if (!offset || !length || *offset + *length > plain.size()) {
            *error = index.fileName() + u" points outside its dictionary"_s;
            return false;
        }
        if (headword == "00databaseinfo" || headword == "00-database-info") {
            m_info = QString::fromUtf8(plain.sliced(*offset, *length));
            continue;
        }
        if (headword.startsWith("00database") || headword.startsWith("00-database"))
            continue;
        spans.emplace_back(*offset, *length);
    }
    // The index is sorted by headword; articles are read in the order the authors wrote them,
    // each once however many headwords lead to it.
    std::stable_sort(spans.begin(), spans.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    spans.erase(std::unique(spans.begin(), spans.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                spans.end());
    for (const auto& [offset, length] : spans) {
        QByteArrayView bytes(plain.constData() + offset, length);
        if (headlinesOnly) {
            if (const qsizetype end = bytes.indexOf('\n'); end >= 0)
                bytes.truncate(end);
        }
        const QString article = QString::fromUtf8(bytes);
        Entry entry = style == Style::Mueller ? Mueller::parse(article) : parse(article, style);
        if (!entry.headword.isEmpty())
            visit(std::move(entry));
    }
    return true;
}

QString FreeDict::normalised(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        // Dutch ĳ and Ĳ, Catalan ŀ, the DŽ-style digraphs and the Latin typographic ligatures.
        const bool ligature = (u >= 0x0132 && u <= 0x0133) || (u >= 0x013F && u <= 0x0140) ||
                              (u >= 0x01C4 && u <= 0x01CC) || (u >= 0x01F1 && u <= 0x01F3) ||
                              (u >= 0xFB00 && u <= 0xFB06);
        if (ligature)
            out += QString(c).normalized(QString::NormalizationForm_KC);
        else
            out += c;
    }
    return out.normalized(QString::NormalizationForm_C);
}

bool FreeDict::specialist(const QString& label) {
    // Trades and sciences, regions, registers and age: what a labelled sense is not, the
    // common meaning is. Other labels ("zool.", "[single]") name the thing itself.
    static const QSet<QString> special{
        // trades and sciences
        u"techn."_s, u"min."_s, u"mach."_s, u"constr."_s, u"electr."_s, u"chem."_s, u"phys."_s,
        u"math."_s, u"jur."_s, u"econ."_s, u"fin."_s, u"comp."_s, u"telco."_s, u"auto."_s,
        u"aviat."_s, u"naut."_s, u"mil."_s, u"agr."_s, u"print"_s, u"textil."_s, u"geol."_s,
        u"med."_s, u"pharm."_s, u"photo."_s, u"adm."_s, u"mech."_s, u"biochem."_s, u"statist."_s,
        u"electr"_s, u"tech."_s, u"mining"_s, u"rail"_s, u"archit."_s, u"hist."_s, u"relig."_s,
        u"gramm."_s, u"philos."_s, u"psych."_s, u"ornith."_s, u"entom."_s, u"ichth."_s,
        u"mineral."_s, u"metal."_s, u"pol."_s, u"envir."_s, u"тех."_s, u"мор."_s, u"воен."_s,
        u"эл."_s, u"хим."_s, u"физ."_s, u"мат."_s, u"юр."_s, u"эк."_s, u"ком."_s, u"полигр."_s,
        u"горн."_s, u"геол."_s, u"мед."_s, u"фот."_s, u"ав."_s, u"радио."_s, u"карт."_s, u"с.-х."_s,
        u"ист."_s, u"церк."_s, u"грам."_s, u"парл."_s, u"театр."_s, u"кино."_s, u"спорт."_s,
        u"охот."_s, u"стр."_s, u"архит."_s, u"бот."_s, u"зоол."_s, u"анат."_s, u"биол."_s,
        u"тлв."_s,
        // regions
        u"br."_s, u"am."_s, u"austr."_s, u"sc."_s, u"ir."_s, u"can."_s, u"nz"_s, u"ös."_s,
        u"schw."_s, u"süddt."_s, u"norddt."_s, u"bayr."_s, u"ostdt."_s, u"westdt."_s,
        u"mittelwestdt."_s, u"lux."_s, u"ам."_s, u"шотл."_s, u"диал."_s, u"амер."_s, u"ирл."_s,
        u"австрал."_s, u"инд."_s,
        // registers and age
        u"coll."_s, u"ugs."_s, u"slang"_s, u"sl."_s, u"vulg."_s, u"pej."_s, u"obs."_s, u"old"_s,
        u"archaic"_s, u"dated"_s, u"poet."_s, u"rare"_s, u"humor."_s, u"fig."_s, u"übtr."_s,
        u"formal"_s, u"geh."_s, u"dialect"_s, u"regional"_s, u"euphem."_s, u"разг."_s, u"жарг."_s,
        u"уст."_s, u"поэт."_s, u"груб."_s, u"презр."_s, u"ирон."_s, u"шутл."_s, u"пренебр."_s,
        u"книжн."_s, u"редк."_s, u"фам."_s, u"пер."_s, u"вульг."_s, u"арх."_s, u"информ."_s,
        u"неодобр."_s, u"эвф."_s, u"ритор."_s,
        // FreeDict's English-Polish and Polish-English: trades, regions, registers and age
        u"komp"_s, u"sport"_s, u"gram"_s, u"termin"_s, u"muz"_s, u"praw"_s, u"med"_s, u"wojsk"_s,
        u"techn"_s, u"relig"_s, u"chem"_s, u"mat"_s, u"br"_s, u"us"_s, u"nieform"_s, u"form"_s,
        u"lit"_s, u"przest"_s, u"przen"_s, u"wulg"_s, u"pejor"_s, u"potocznie, potoczny"_s,
        u"książkowy"_s, u"przestarzałe, przestarzały"_s, u"dawniej, dawny"_s,
        u"rzadki, rzadko używany"_s, u"wulgarnie, wulgaryzm"_s, u"pejoratywnie, pejoratywny"_s,
        u"pogardliwie"_s, u"żartobliwie"_s, u"slangowo"_s, u"obraźliwie"_s,
        u"lekceważąco, lekceważący"_s, u"eufemistycznie"_s, u"grubiański, grubiańsko"_s,
        u"podniośle"_s, u"przenośnie, przenośnia"_s, u"neologizm"_s, u"urzędowy"_s, u"oficjalnie"_s,
        // FreeDict's Swedish-German
        u"vardagligt"_s, u"bildligt"_s, u"slang"_s, u"ålderdomligt"_s, u"vulgärt"_s,
        u"nedsättande"_s, u"föråldrat"_s};
    const QString text = label.trimmed().toLower();
    if (special.contains(text))
        return true;
    // "[BR nieform]": a region and a register at once.
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    return words.size() > 1 && std::all_of(words.begin(), words.end(), [](const QString& word) {
               return special.contains(word);
           });
}

QString FreeDict::withoutPlaceholders(const QString& text) {
    static const QRegularExpression placeholder(
        u"(^|\\s)(?:etw\\.|jdn\\.|jdm\\.|jds\\.|jd\\.|sth\\.|sb\\.|smb\\.|smth\\.|\\S+-л\\.)(?=\\s|$)"_s);
    QString result = text;
    result.replace(placeholder, u"\\1"_s);
    return result.simplified();
}

namespace {

// Splits at commas and semicolons outside brackets of any kind, each term with its labels.
struct Term {
    QString text;
    QStringList labels;
};

QList<Term> terms(const QString& line, const QStringList& lineLabels) {
    static const QRegularExpression label(u"\\[([^\\]]*)\\]"_s);
    static const QRegularExpression notes(u"\\([^)]*\\)|\\{[^}]*\\}"_s);
    static const QRegularExpression transcription(u"/[^/]*/"_s);
    QList<Term> result;
    for (QString text : splitTerms(line)) {
        Term term{{}, lineLabels};
        for (const auto& match : label.globalMatch(text))
            term.labels << match.captured(1).trimmed();
        text.remove(label);
        // What follows a part of speech is an abbreviation or a transcription ("<n>lang.").
        if (const qsizetype angle = text.indexOf(u'<'); angle >= 0)
            text.truncate(angle);
        text.remove(notes);
        text.remove(transcription);
        text = FreeDict::normalised(FreeDict::withoutPlaceholders(text).simplified());
        // A compound's first part ("huis‐") is no word of its own.
        if (text.isEmpty() || text.endsWith(QChar(0x2010)) || text.endsWith(u'-') ||
            text.startsWith(QChar(0x2010)) || text.startsWith(u'-'))
            continue;
        term.text = text;
        result << term;
    }
    return result;
}

QString angleNotes(const QString& text) {
    static const QRegularExpression angle(u"<([^>]*)>"_s);
    return angle.match(text).captured(1).trimmed();
}

} // namespace

namespace {

// The headline: the headword, then its transcription, other notes and its part of speech. An
// empty headword for a compound's first part ("huis-"), which is no word of its own.
FreeDict::Entry headline(const QString& head) {
    static const QRegularExpression ipa(u"/([^/]*)/"_s);
    // A note in parentheses is no part of the headword: "Hunde (in einem Zwinger) unterbringen".
    static const QRegularExpression note(u"\\([^)]*\\)"_s);
    FreeDict::Entry entry;
    qsizetype end = head.size();
    for (const QString& mark : {u" /"_s, u" <"_s, u" ["_s}) {
        const qsizetype at = head.indexOf(mark);
        if (at > 0)
            end = std::min(end, at);
    }
    entry.headword = FreeDict::normalised(
        FreeDict::withoutPlaceholders(head.left(end).remove(note).simplified()));
    if (entry.headword.startsWith(u"sich "_s))
        entry.headword = entry.headword.mid(5);
    entry.ipa = ipa.match(head.mid(end)).captured(1).trimmed();
    entry.pos = angleNotes(head.mid(end));
    if (entry.headword.endsWith(QChar(0x2010)) || entry.headword.endsWith(u'-'))
        entry.headword.clear();
    return entry;
}

// Reads an article's lines after its headline, one kind of line at a time.
class ArticleReader {
public:
    ArticleReader(FreeDict::Entry& entry, FreeDict::Style style)
        : m_entry(entry)
        , m_style(style) {}

    void read(const QString& raw, bool firstLine) {
        static const QRegularExpression example(u"^\"(.*)\"\\s+-\\s+(.*)$"_s);
        static const QRegularExpression number(u"^\\d+\\.\\s*"_s);
        static const QRegularExpression trailingNumber(u"\\s+\\d+\\.$"_s);
        static const QRegularExpression reference(u"\\{([^}]*)\\}"_s);
        QString text = raw.trimmed();
        if (text.isEmpty() || text.startsWith(u"Synonym"_s) || text.startsWith(u"Note:"_s))
            return;
        if (text.startsWith(u"see:"_s)) {
            for (const auto& match : reference.globalMatch(text))
                m_entry.see << FreeDict::normalised(match.captured(1).trimmed());
            return;
        }
        if (const auto pair = example.match(text); pair.hasMatch()) {
            // A card shows one example of a sense.
            if (!m_entry.groups.isEmpty() && m_entry.groups.last().examples.isEmpty())
                m_entry.groups.last().examples.append(
                    {FreeDict::normalised(pair.captured(1).trimmed()),
                     FreeDict::normalised(pair.captured(2).trimmed())});
            return;
        }
        // Idioms and their translations ("- mieć u kogoś ...") are no senses of the word.
        if (text.startsWith(u'-'))
            return;
        if (m_style == FreeDict::Style::PolishEnglish) {
            // The English terms stand on the first line and on numbered lines, with the number
            // of the first Polish definition after them; the rest is Polish.
            if (!firstLine && !number.match(text).hasMatch()) {
                definition(text);
                return;
            }
            text.remove(trailingNumber);
        }
        termLine(text);
    }

private:
    // The labels of a definition ("(potocznie, potoczny) pies") say how the line of terms
    // above it is used.
    void definition(QString text) {
        static const QRegularExpression leadingNote(u"^\\(([^)]*)\\)\\s*"_s);
        QStringList definitionLabels;
        for (auto match = leadingNote.match(text); match.hasMatch();
             match = leadingNote.match(text)) {
            definitionLabels << match.captured(1).trimmed();
            text = text.mid(match.capturedLength());
        }
        if (!definitionLabels.isEmpty() && !m_entry.groups.isEmpty() && !m_described) {
            FreeDict::Group& above = m_entry.groups.last();
            for (QStringList& labels : above.termLabels)
                labels += definitionLabels;
            for (const QString& label : std::as_const(definitionLabels)) {
                if (!above.labels.contains(label))
                    above.labels << label;
            }
        }
        m_described = true;
    }

    // A line of terms, after its numbers, part of speech and labels.
    void termLine(QString text) {
        static const QRegularExpression roman(u"^[IVX]+\\.\\s*"_s);
        static const QRegularExpression number(u"^\\d+\\.\\s*"_s);
        static const QRegularExpression leadingTag(u"^<([^>]*)>\\s*"_s);
        static const QRegularExpression leadingLabel(u"^\\[([^\\]]*)\\]\\s*"_s);
        bool numbered = false;
        if (const auto match = roman.match(text); match.hasMatch()) {
            text = text.mid(match.capturedLength());
            numbered = true;
        }
        for (auto tag = leadingTag.match(text); tag.hasMatch(); tag = leadingTag.match(text)) {
            m_numberedPos = tag.captured(1).trimmed();
            text = text.mid(tag.capturedLength());
        }
        // Phrasal verbs are headwords of their own.
        if (m_numberedPos.contains(u"Phras"_s))
            return;
        if (const auto match = number.match(text); match.hasMatch()) {
            text = text.mid(match.capturedLength());
            numbered = true;
        }
        // "books  księgi rachunkowe": a numbered line that begins with an English phrase
        // translates that phrase, not the headword.
        if (numbered && m_style != FreeDict::Style::PolishEnglish && text.contains(u"  "_s))
            return;
        QStringList lineLabels;
        for (auto match = leadingLabel.match(text); match.hasMatch();
             match = leadingLabel.match(text)) {
            lineLabels << match.captured(1).trimmed();
            text = text.mid(match.capturedLength());
        }
        FreeDict::Group group;
        group.pos = m_numberedPos;
        for (const Term& term : terms(text, lineLabels)) {
            if (group.terms.contains(term.text))
                continue;
            group.terms << term.text;
            group.termLabels << term.labels;
            for (const QString& label : term.labels) {
                if (!group.labels.contains(label))
                    group.labels << label;
            }
        }
        if (!group.terms.isEmpty()) {
            m_entry.groups.append(group);
            m_described = false;
        }
    }

    FreeDict::Entry& m_entry;
    FreeDict::Style m_style;
    QString m_numberedPos;
    // Whether the last line of terms has had its definition.
    bool m_described = false;
};

} // namespace

FreeDict::Entry FreeDict::parse(const QString& article, Style style) {
    const QStringList lines = article.split(u'\n');
    Entry entry = headline(lines.value(0));
    if (entry.headword.isEmpty())
        return entry;
    ArticleReader reader(entry, style);
    for (qsizetype i = 1; i < lines.size(); ++i)
        reader.read(lines[i], i == 1);
    return entry;
}

} // namespace tivela::packbuild
