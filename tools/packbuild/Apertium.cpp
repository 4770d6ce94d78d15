#include "Apertium.h"

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild::Apertium {

namespace {

// A whole dictionary takes seconds; this bounds a stuck program.
constexpr int processTimeoutMs = 10 * 60 * 1000;

// Characters with a meaning in lttoolbox's stream format; words holding them are left out
// rather than escaped, since no dictionary word needs them.
bool plain(const QString& word) {
    static const QRegularExpression special(u"[\\^$/<>@*#+~\\\\\\[\\]{}\\n]"_s);
    return !word.isEmpty() && !word.contains(special);
}

std::optional<QStringList> run(const QStringList& arguments, const QStringList& lines,
                               QString* error) {
    QProcess process;
    process.setProgram(arguments.first());
    process.setArguments(arguments.mid(1));
    process.start();
    if (!process.waitForStarted(processTimeoutMs)) {
        *error = arguments.first() + u" did not start"_s;
        return std::nullopt;
    }
    process.write((lines.join(u'\n') + u'\n').toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(processTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        *error = arguments.first() + u" did not finish"_s;
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = arguments.join(u' ') + u" failed: "_s +
                 QString::fromUtf8(process.readAllStandardError()).trimmed();
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
}

// The analyser's output for each word, one a line; a word lttoolbox's format cannot carry is
// read as an empty line.
std::optional<QStringList> analysed(const QString& analyser, const QStringList& words,
                                    QString* error) {
    QStringList input;
    for (const QString& word : words)
        input << (plain(word) ? word : QString());
    return run({u"lt-proc"_s, u"-w"_s, analyser}, input, error);
}

// Units as lttoolbox reads them, one a line: "^casa<n><f>$".
QStringList stream(const QList<Unit>& units) {
    QStringList lines;
    for (const Unit& unit : units)
        lines << u'^' + unit.form() + u'$';
    return lines;
}

// The readings of one "^surface/reading/reading$" unit.
QStringList unitReadings(QString line) {
    line = line.trimmed();
    // A word that the analyser reads as several ("así pues") has no reading of its own.
    if (!line.startsWith(u'^') || !line.endsWith(u'$') || line.count(u'$') > 1)
        return {};
    return line.mid(1, line.size() - 2).split(u'/').mid(1);
}

} // namespace

QString Unit::text() const {
    // Superscript digits tell homonyms apart ("vara¹" the verb, "vara" the noun).
    static const QRegularExpression homonym(u"[¹²³⁴⁵⁶⁷⁸⁹⁰]+"_s);
    QString text = lemma;
    return text.remove(u'#').remove(homonym).simplified();
}

QString Unit::pos() const {
    static const QHash<QString, QString> parts{
        {u"n"_s, u"noun"_s},       {u"vblex"_s, u"verb"_s},  {u"vbser"_s, u"verb"_s},
        {u"vbhaver"_s, u"verb"_s}, {u"vbmod"_s, u"verb"_s},  {u"vaux"_s, u"verb"_s},
        {u"vbdo"_s, u"verb"_s},    {u"adj"_s, u"adj"_s},     {u"adv"_s, u"adv"_s},
        {u"preadv"_s, u"adv"_s},   {u"pr"_s, u"prep"_s},     {u"prn"_s, u"pron"_s},
        {u"rel"_s, u"pron"_s},     {u"det"_s, u"det"_s},     {u"predet"_s, u"det"_s},
        {u"cnjcoo"_s, u"conj"_s},  {u"cnjsub"_s, u"conj"_s}, {u"cnjadv"_s, u"conj"_s},
        {u"num"_s, u"num"_s},      {u"ij"_s, u"intj"_s},     {u"np"_s, u"name"_s}};
    return parts.value(tags.value(0));
}

QString Unit::form() const {
    QString text = lemma;
    for (const QString& tag : tags)
        text += u'<' + tag + u'>';
    return text;
}

std::optional<Unit> parseUnit(const QString& text) {
    const qsizetype open = text.indexOf(u'<');
    if (open <= 0 || text.startsWith(u'@') || text.startsWith(u'*') || text.contains(u'+'))
        return std::nullopt;
    Unit unit{text.left(open), {}};
    for (const QString& tag :
         text.mid(open + 1).chopped(text.endsWith(u'>') ? 1 : 0).split(u"><"_s))
        unit.tags << tag;
    return unit;
}

std::optional<QList<QList<Unit>>> readings(const QString& analyser, const QStringList& words,
                                           QString* error) {
    const auto output = analysed(analyser, words, error);
    if (!output)
        return std::nullopt;
    QList<QList<Unit>> result;
    for (qsizetype i = 0; i < words.size(); ++i) {
        QList<Unit> units;
        for (const QString& reading : unitReadings(output->value(i))) {
            if (const auto unit = parseUnit(reading))
                units << *unit;
        }
        result << units;
    }
    return result;
}

std::optional<QList<QList<Unit>>> analyse(const QString& analyser, const QStringList& words,
                                          QString* error) {
    auto result = readings(analyser, words, error);
    for (qsizetype i = 0; result && i < words.size(); ++i) {
        (*result)[i].removeIf([&](const Unit& unit) {
            return unit.text().compare(words[i], Qt::CaseInsensitive) != 0;
        });
    }
    return result;
}

std::optional<QHash<QString, QString>> combinations(const QString& analyser,
                                                    const QStringList& words, QString* error) {
    const auto output = analysed(analyser, words, error);
    if (!output)
        return std::nullopt;
    QHash<QString, QString> found;
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString lemma;
        bool single = false;
        for (const QString& reading : unitReadings(output->value(i))) {
            const qsizetype plus = reading.indexOf(u'+');
            const auto first = parseUnit(plus < 0 ? reading : reading.left(plus));
            single = single || (plus < 0 && first);
            if (plus > 0 && first && lemma.isEmpty())
                lemma = first->text();
        }
        if (!single && !lemma.isEmpty() && lemma.compare(words[i], Qt::CaseInsensitive) != 0)
            found.insert(words[i], lemma);
    }
    return found;
}

std::optional<QList<QList<Unit>>> translate(const QString& bilingual, const QList<Unit>& units,
                                            QString* error) {
    const auto output = run({u"lt-proc"_s, u"-b"_s, bilingual}, stream(units), error);
    if (!output)
        return std::nullopt;
    QList<QList<Unit>> result;
    for (qsizetype i = 0; i < units.size(); ++i) {
        QList<Unit> translations;
        for (const QString& reading : unitReadings(output->value(i))) {
            const auto unit = parseUnit(reading);
            if (unit && plain(unit->text()))
                translations << *unit;
        }
        result << translations;
    }
    return result;
}

std::optional<QStringList> generate(const QString& generator, const QList<Unit>& units,
                                    QString* error) {
    const auto output = run({u"lt-proc"_s, u"-g"_s, generator}, stream(units), error);
    if (!output)
        return std::nullopt;
    QStringList forms;
    for (qsizetype i = 0; i < units.size(); ++i) {
        const QString form = output->value(i).trimmed();
        forms << (form.startsWith(u'#') || !plain(form) ? QString() : form);
    }
    return forms;
}

std::optional<QList<QPair<QString, QString>>>
paradigms(const QString& transducer, const QStringList& patterns, Side side, QString* error) {
    const QStringList program = side == Side::analyser
                                    ? QStringList{u"lt-paradigm"_s, u"-a"_s, transducer}
                                    : QStringList{u"lt-paradigm"_s, transducer};
    const auto output = run(program, patterns, error);
    if (!output)
        return std::nullopt;
    // A generator also lists paths that write no word: analytic forms ("более красивый") and
    // Ukrainian-Russian's passive participles of "-ать" verbs with their "а" doubled
    // ("кокаанная").
    QList<QPair<QString, QString>> listed;
    for (const QString& line : *output) {
        const qsizetype colon = line.lastIndexOf(u':');
        const qsizetype open = line.indexOf(u'<');
        if (colon < open || open <= 0 || colon + 1 >= line.size())
            continue;
        const QString lemma = Unit{line.left(open), {}}.text();
        const QString form = line.mid(colon + 1);
        const auto broken = [](const QString& text) {
            return text.contains(u' ') || text.contains(u"аа"_s);
        };
        if (side == Side::analyser || !broken(form) || broken(lemma))
            listed.append({lemma, form});
    }
    return listed;
}

std::optional<QHash<QString, QStringList>>
forms(const QString& transducer, const QStringList& lemmas, QString* error, Side side) {
    QStringList patterns;
    for (const QString& lemma : lemmas) {
        if (plain(lemma))
            patterns << lemma + u"<*>"_s;
    }
    const auto listed = paradigms(transducer, patterns, side, error);
    if (!listed)
        return std::nullopt;
    QHash<QString, QStringList> forms;
    for (const auto& [lemma, form] : *listed) {
        if (form != lemma && !forms.value(form).contains(lemma))
            forms[form] << lemma;
    }
    return forms;
}

std::optional<QStringList> lemmas(const QString& analyser, QString* error) {
    const auto output = run({u"lt-paradigm"_s, u"-a"_s, analyser}, {u"*<*>"_s}, error);
    if (!output)
        return std::nullopt;
    QStringList found;
    for (const QString& line : *output) {
        const qsizetype open = line.indexOf(u'<');
        if (open > 0 && !line.contains(u"<np>"_s) && !line.contains(u"<num>"_s))
            found << Unit{line.left(open), {}}.text();
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace tivela::packbuild::Apertium
