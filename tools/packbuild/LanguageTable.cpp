#include "LanguageTable.h"

#include "Forms.h"
#include "Loanwords.h"
#include "VerbPartners.h"

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// German writes a preposition and the article after it as one word.
QList<std::pair<QString, QString>> germanContractions() {
    return {{u"am"_s, u"an"_s},    {u"ans"_s, u"an"_s},       {u"aufs"_s, u"auf"_s},
            {u"beim"_s, u"bei"_s}, {u"durchs"_s, u"durch"_s}, {u"fürs"_s, u"für"_s},
            {u"im"_s, u"in"_s},    {u"ins"_s, u"in"_s},       {u"übers"_s, u"über"_s},
            {u"ums"_s, u"um"_s},   {u"vom"_s, u"von"_s},      {u"zum"_s, u"zu"_s},
            {u"zur"_s, u"zu"_s}};
}

// Each row names only what sets its language apart; the other fields keep their defaults.
QList<LanguageSources> rows() {
    const QString engSpa = u"apertium-eng-spa/eng-spa.autobil.bin"_s;
    const QString spaEng = u"apertium-eng-spa/spa-eng.autobil.bin"_s;
    // As Debian's copyright files of the dictionaries with German name them.
    const QString gpl2 = u"GNU GPL version 2 or later"_s;
    const QString ccBySa = u"CC BY-SA 3.0"_s;
    return {
        {.code = u"es"_s,
         .freedict = u"spa"_s,
         .analyser = u"apertium-eng-spa/spa-eng.automorf.bin"_s,
         .chain = {engSpa},
         .back = {spaEng},
         .generator = u"apertium-eng-spa/eng-spa.autogen.bin"_s,
         .wordList = u"spanish"_s,
         // spa-eng's "cuadro" is first a flower bed, then a picture; its lines are in no
         // order of use either ("tener": desire, wish, own, possess, have).
         .commonMeaningFirst = false,
         .leadsWithCommonWord = true},
        {.code = u"fr"_s,
         .freedict = u"fra"_s,
         .analyser = u"apertium-fr-es/fr-es.automorf.bin"_s,
         .chain = {engSpa, u"apertium-fr-es/es-fr.autobil.bin"_s},
         .back = {u"apertium-fr-es/fr-es.autobil.bin"_s, spaEng},
         .generator = u"apertium-fr-es/es-fr.autogen.bin"_s,
         .wordList = u"french"_s,
         .germanLicence = ccBySa},
        {.code = u"pt"_s,
         .freedict = u"por"_s,
         .analyser = u"apertium-es-pt/pt-es.automorf.bin"_s,
         .chain = {engSpa, u"apertium-es-pt/es-pt.autobil.bin"_s},
         .back = {u"apertium-es-pt/pt-es.autobil.bin"_s, spaEng},
         .generator = u"apertium-es-pt/es-pt.autogen.bin"_s,
         .wordList = u"portuguese"_s},
        {.code = u"it"_s,
         .freedict = u"ita"_s,
         .analyser = u"apertium-spa-ita/ita-spa.automorf.bin"_s,
         .chain = {engSpa, u"apertium-spa-ita/spa-ita.autobil.bin"_s},
         .back = {u"apertium-spa-ita/ita-spa.autobil.bin"_s, spaEng},
         .generator = u"apertium-spa-ita/spa-ita.autogen.bin"_s,
         .apertiumLicence = u"Apertium (GNU GPL version 2; version 3 or later for Italian)"_s,
         .wordList = u"italian"_s,
         .analyserLemmas = true,
         .leadsWithCommonWord = true,
         .germanLicence = gpl2,
         .route = {.name = u"Spanish"_s,
                   .freedict = u"spa"_s,
                   .licence = gpl2,
                   .pair = u"spa-ita"_s,
                   .analyser = u"apertium-spa-ita/ita-spa.automorf.bin"_s,
                   .there = u"apertium-spa-ita/ita-spa.autobil.bin"_s,
                   .reverseAnalyser = u"apertium-spa-ita/spa-ita.automorf.bin"_s,
                   .back = u"apertium-spa-ita/spa-ita.autobil.bin"_s},
         .formRules = Forms::italianRules(),
         .oldSpelling = Forms::italianOldSpelling},
        // Ding is FreeDict's German dictionary; Debian has no German analyser, so the reader
        // applies the regular endings of German forms itself.
        {.code = u"de"_s,
         .freedict = u"deu"_s,
         .freedictLicence = u"FreeDict's Ding (GNU GPL version 3 or later)"_s,
         // A compound's one meaning is its head's English word ("Straßenmarkt": market).
         .commonMeaningFirst = false,
         .formRules = Forms::germanRules(),
         .referencesNamePlurals = true,
         .contractions = germanContractions(),
         .oldSpelling = Forms::germanOldSpelling},
        {.code = u"ru"_s,
         .freedict = u"rus"_s,
         .extra = {u"mueller7"_s, FreeDict::Style::Mueller, u"Mueller"_s,
                   u"Mueller (GNU GPL version 2 or later)"_s,
                   u"Mueller's English-Russian dictionary, 7th edition (S. Starostin, E. S. "
                   u"Cymbalyuk), GNU GPL version 2 or later"_s},
         .analyser = u"apertium-rus-ukr/rus-ukr.automorf.bin"_s,
         // Ukrainian-Russian's Russian generator knows some ten times the words of the
         // Russian analyser ("других": "другой", "файла": "файл").
         .formGenerator = u"apertium-rus-ukr/ukr-rus.autogen.bin"_s,
         .apertiumLicence = u"Apertium rus-ukr (GNU GPL version 3 or later)"_s,
         .imperfectives = VerbPartners::russianImperfectives,
         .loanSpellings = Loanwords::russianSpellings},
        {.code = u"nl"_s,
         .freedict = u"nld"_s,
         .analyser = u"apertium-afr-nld/nld-afr.automorf.bin"_s,
         .apertiumLicence = u"Apertium afr-nld (GNU GPL version 2 or later)"_s,
         .commonMeaningFirst = false,
         .germanLicence = gpl2,
         .formRules = Forms::dutchRules()},
        {.code = u"sv"_s,
         .freedict = u"swe"_s,
         .analyser = u"apertium-swe-dan/swe-dan.automorf.bin"_s,
         .apertiumLicence = u"Apertium swe-dan (GNU GPL version 2 or later)"_s,
         .germanLicence = ccBySa,
         // As Debian's copyright file of dan-eng names it (its info adds CC BY-SA 3.0 for
         // the changes since 0.3).
         .route = {.name = u"Danish"_s,
                   .freedict = u"dan"_s,
                   .licence = u"GNU GPL version 3 or later"_s,
                   .pair = u"swe-dan"_s,
                   .analyser = u"apertium-swe-dan/swe-dan.automorf.bin"_s,
                   .there = u"apertium-swe-dan/swe-dan.autobil.bin"_s,
                   .reverseAnalyser = u"apertium-swe-dan/dan-swe.automorf.bin"_s,
                   .back = u"apertium-swe-dan/dan-swe.autobil.bin"_s}},
        {.code = u"pl"_s,
         .freedict = u"pol"_s,
         .style = FreeDict::Style::PolishEnglish,
         .freedictLicence = u"FreeDict (GNU GPL version 3 or later and GNU FDL 1.2 or later)"_s,
         .analyser = u"apertium-pol-szl/pol-szl.automorf.bin"_s,
         .apertiumLicence = u"Apertium pol-szl (GNU GPL version 3 or later)"_s},
    };
}

} // namespace

const QList<LanguageSources>& languageTable() {
    static const QList<LanguageSources> table = rows();
    return table;
}

const LanguageSources* languageSources(const QString& code) {
    for (const LanguageSources& row : languageTable()) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

} // namespace tivela::packbuild
