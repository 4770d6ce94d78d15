#include "English.h"

#include "Apertium.h"
#include "Terms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

QString English::analyser() {
    return u"apertium-eng-spa/eng-spa.automorf.bin"_s;
}

bool English::load(const QString& wordnet, QString* error) {
    if (m_loaded)
        return true;
    if (!m_wordnet.load(wordnet, error))
        return false;
    for (const QString& lemma : m_wordnet.lemmas()) {
        const QString k = key(lemma, u"en"_s);
        if (!k.isEmpty() && !m_lemmas.contains(k))
            m_lemmas.insert(k, lemma);
    }
    static const QRegularExpression separator(u"[^\\w'-]+"_s);
    // Only compared with the words a term translates: their hashes do.
    m_synsetKeys.reserve(m_wordnet.synsets().size());
    m_definitionWords.reserve(m_wordnet.synsets().size());
    for (const WordNet::Synset& synset : m_wordnet.synsets()) {
        std::vector<size_t> keys;
        for (const QString& word : synset.words)
            keys.push_back(qHash(key(word, u"en"_s)));
        m_synsetKeys.push_back(std::move(keys));
        std::vector<size_t> words;
        for (const QString& word : synset.definition.split(separator, Qt::SkipEmptyParts)) {
            const size_t hash = qHash(word.toLower());
            if (word.size() > 3 && std::find(words.begin(), words.end(), hash) == words.end())
                words.push_back(hash);
        }
        m_definitionWords.push_back(std::move(words));
    }
    m_header << u"# English entries: WordNet 3.0, Princeton University"_s;
    m_loaded = true;
    return true;
}

void English::loadForms(const QString& apertium, const QString& wordLists) {
    const QHash<QString, QStringList>& exceptions = m_wordnet.exceptionTable();
    for (auto it = exceptions.cbegin(); it != exceptions.cend(); ++it)
        for (const QString& base : it.value())
            addForm(it.key(), base);
    const QString path = QDir(apertium).filePath(analyser());
    QString error;
    const auto forms = apertium.isEmpty() || !QFileInfo::exists(path)
                           ? std::nullopt
                           : Apertium::forms(path, m_lemmas.values(), &error);
    if (forms) {
        for (auto it = forms->cbegin(); it != forms->cend(); ++it)
            for (const QString& base : it.value())
                addForm(it.key(), base);
        m_header << u"# forms: WordNet's exception lists, Apertium "_s + analyser();
    }
    loadPossessives(wordLists);
}

// A form of a lemma WordNet has; a form of nothing but itself ("his" in WordNet's exception
// list of nouns) is none, and would keep the word's own translations out of the packs.
void English::addForm(const QString& form, const QString& base) {
    const QString formKey = key(form, u"en"_s);
    const QString baseKey = key(base, u"en"_s);
    if (baseKey != formKey && m_lemmas.contains(baseKey))
        appendUnique(m_forms[formKey], baseKey, 8);
}

// Possessives and negations of the word list: "children's" and "couldn't" lead where
// "children" and "could" lead.
void English::loadPossessives(const QString& wordLists) {
    QFile list(QDir(wordLists).filePath(u"american-english"_s));
    if (!list.open(QIODevice::ReadOnly))
        return;
    static const QHash<QString, QString> irregular{
        {u"can't"_s, u"can"_s}, {u"won't"_s, u"will"_s}, {u"shan't"_s, u"shall"_s}};
    for (const QByteArray& line : list.readAll().split('\n')) {
        const QString written = QString::fromUtf8(line).replace(u'’', u'\'');
        const QString word = key(written, u"en"_s);
        if (written == written.toLower())
            m_lowerCase.insert(word);
        QString base = irregular.value(word);
        if (base.isEmpty() && word.endsWith(u"'s"_s))
            base = word.chopped(2);
        else if (base.isEmpty() && word.endsWith(u"n't"_s))
            base = word.chopped(3);
        if (base.isEmpty() || base == word)
            continue;
        const QStringList bases = m_lemmas.contains(base) ? QStringList{base} : m_forms.value(base);
        const QString typeset = QString(word).replace(u'\'', u'’');
        for (const QString& lemma : bases) {
            appendUnique(m_forms[word], lemma, 8);
            appendUnique(m_forms[typeset], lemma, 8);
        }
    }
    m_header << u"# possessives and negations: /usr/share/dict/american-english"_s;
}

double English::commonness(const QString& k) const {
    const QString lemma = m_lemmas.value(k);
    return lemma.isEmpty() ? 0.0 : std::log2(1.0 + double(m_wordnet.count(lemma)));
}

const std::vector<size_t>& English::synsetKeys(qsizetype synset) const {
    return m_synsetKeys[size_t(synset)];
}

const std::vector<size_t>& English::definitionWords(qsizetype synset) const {
    return m_definitionWords[size_t(synset)];
}

void English::noteIpa(const QString& lang, const QString& k, const QString& ipa) {
    QHash<QString, QString>& known = m_ipa[lang];
    if (!known.contains(k))
        known.insert(k, ipa);
}

QString English::ipa(const QString& k) const {
    for (const QString& lang : {u"de"_s, u"pt"_s, u"it"_s, u"fr"_s, u"es"_s, u"ru"_s}) {
        const QString ipa = m_ipa.value(lang).value(k);
        if (!ipa.isEmpty())
            return ipa;
    }
    return {};
}

} // namespace tivela::packbuild
