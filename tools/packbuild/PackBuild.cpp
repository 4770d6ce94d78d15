// tivela-packbuild: writes the dictionary packs of a release from Debian's dictionary data.
//
// English entries come from WordNet; the other languages' words are attached to WordNet's
// English senses from FreeDict's dictionaries (and Apertium's, where installed). The same
// input gives the same bytes.
#include "PackBuilder.h"
#include "PackWriter.h"

#include "core/Lexicon.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>

using namespace Qt::StringLiterals;
using tivela::packbuild::PackBuilder;
namespace PackWriter = tivela::packbuild::PackWriter;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Writes dictionary packs from WordNet and FreeDict."_s);
    parser.addHelpOption();
    parser.addPositionalArgument(u"langs"_s, u"Languages to write; all known ones by default."_s,
                                 u"[lang...]"_s);
    const QCommandLineOption output(u"output"_s, u"Folder of the packs."_s, u"folder"_s);
    const QCommandLineOption wordnet(u"wordnet"_s, u"WordNet's dict folder."_s, u"folder"_s,
                                     u"/usr/share/wordnet"_s);
    const QCommandLineOption dictd(u"dictd"_s, u"Folder of FreeDict's dictd files."_s, u"folder"_s,
                                   u"/usr/share/dictd"_s);
    const QCommandLineOption apertium(u"apertium"_s, u"Apertium's data folder; empty for none."_s,
                                      u"folder"_s, u"/usr/share/apertium"_s);
    const QCommandLineOption wordLists(u"wordlists"_s, u"Folder of word lists."_s, u"folder"_s,
                                       u"/usr/share/dict"_s);
    const QCommandLineOption show(u"show"_s,
                                  u"Print the word card of a word from the packs in the output "
                                  u"folder instead of writing packs."_s,
                                  u"from:to:word"_s);
    const QCommandLineOption indexOnly(
        u"index"_s, u"Only write the index of the packs in the output folder."_s);
    parser.addOptions({output, wordnet, dictd, apertium, wordLists, show, indexOnly});
    parser.process(app);

    QTextStream err(stderr);
    if (parser.isSet(show)) {
        const QStringList parts = parser.value(show).split(u':');
        if (parts.size() < 3 || !parser.isSet(output)) {
            err << "usage: tivela-packbuild --output FOLDER --show from:to:word\n";
            return 2;
        }
        tivela::Lexicon lexicon(parser.value(output));
        const auto card = lexicon.lookup(parts.mid(2).join(u':'), parts[0], parts[1]);
        QTextStream(stdout) << (card ? QJsonDocument(toJson(*card)).toJson() : "no card\n");
        return card ? 0 : 1;
    }
    QString error;
    if (parser.isSet(indexOnly)) {
        if (!parser.isSet(output)) {
            err << "usage: tivela-packbuild --output FOLDER --index\n";
            return 2;
        }
        if (!PackWriter::writeIndex(parser.value(output), &error)) {
            err << "tivela-packbuild: " << error << '\n';
            return 1;
        }
        return 0;
    }
    QStringList langs = parser.positionalArguments();
    if (langs.isEmpty())
        langs = PackBuilder::languages();
    if (!parser.isSet(output)) {
        err << "usage: tivela-packbuild --output FOLDER [lang...]\n";
        return 2;
    }
    PackBuilder builder({parser.value(wordnet), parser.value(dictd), parser.value(apertium),
                         parser.value(wordLists)});
    if (!builder.load(langs, &error)) {
        err << "tivela-packbuild: " << error << '\n';
        return 1;
    }
    // English last: its transcriptions come from the other languages' dictionaries.
    std::stable_partition(langs.begin(), langs.end(),
                          [](const QString& lang) { return lang != "en"_L1; });
    for (const QString& lang : langs) {
        if (!builder.write(lang, parser.value(output), &error)) {
            err << "tivela-packbuild: " << error << '\n';
            return 1;
        }
    }
    if (!PackWriter::writeIndex(parser.value(output), &error)) {
        err << "tivela-packbuild: " << error << '\n';
        return 1;
    }
    return 0;
}
