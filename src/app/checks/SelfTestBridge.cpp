#include "app/checks/SelfTest.h"

#include "app/BrowserIntegration.h"

#include <QFileInfo>
#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tivela::SelfTest {
namespace {

const QString noReply = u"no reply"_s;

// The member's value as the reply gave it; "no reply" when the reply or the member is missing.
QJsonValue shown(const BridgeConversation::Replies& replies, int id, const QString& key) {
    const QJsonValue value = replies.value(id).value(key);
    return value.isUndefined() ? QJsonValue(noReply) : value;
}

QStringList texts(const QJsonValue& value) {
    QStringList texts;
    for (const QJsonValue& element : value.toArray())
        if (element.isString())
            texts << element.toString();
    return texts;
}

} // namespace

void browserChecks(CheckReport& report, const BrowserIntegration& browsers, bool devBuild) {
    const QStringList served =
        devBuild ? QStringList{u"(development build: the browsers keep the installed Tivela)"_s}
                 : browsers.install();
    report.check(u"browser: manifests written"_s, !served.isEmpty(),
                 QJsonArray::fromStringList(served));
    const QString host = browsers.bridgePath().value_or(QString());
    const QFileInfo program(host);
    report.check(u"browser: bridge executable"_s,
                 !host.isEmpty() && program.isFile() && program.isExecutable(), host);
}

QList<QJsonObject> bridgeMessages() {
    return {
        {{u"id"_s, 1}, {u"type"_s, u"hello"_s}},
        {{u"id"_s, 2},
         {u"type"_s, u"translate"_s},
         {u"text"_s, u"The weather is nice today"_s},
         {u"from"_s, u"auto"_s},
         {u"to"_s, u"es"_s}},
        {{u"id"_s, 3},
         {u"type"_s, u"lookup"_s},
         {u"word"_s, u"house"_s},
         {u"from"_s, u"en"_s},
         {u"to"_s, u"ru"_s}},
        {{u"id"_s, 4},
         {u"type"_s, u"translateBatch"_s},
         {u"texts"_s, QJsonArray{u"Hello"_s, u"Good night"_s}},
         {u"from"_s, u"en"_s},
         {u"to"_s, u"es"_s}},
        {{u"id"_s, 5}, {u"type"_s, u"detect"_s}, {u"text"_s, u"Ciao, come stai?"_s}},
        {{u"id"_s, 6}, {u"type"_s, u"voices"_s}},
        {{u"id"_s, 7},
         {u"type"_s, u"lookup"_s},
         {u"word"_s, u"Hund"_s},
         {u"from"_s, bridgeNewLanguage},
         {u"to"_s, u"en"_s},
         {u"wait"_s, true}},
    };
}

void bridgeChecks(CheckReport& report, const BridgeConversation::Replies& replies,
                  const Packs& packs) {
    const QJsonObject hello = replies.value(1);
    const QJsonValue version = hello.value(u"version"_s);
    report.check(u"bridge: hello (version of the app)"_s,
                 hello.value(u"ok"_s) == true && version != u"dev"_s,
                 shown(replies, 1, u"version"_s));

    const QJsonValue text = replies.value(2).value(u"text"_s);
    report.check(u"bridge: translate"_s, text.isString() && !text.toString().isEmpty(),
                 shown(replies, 2, u"text"_s));

    const QJsonValue entry = replies.value(3).value(u"entry"_s);
    const QJsonValue pos =
        entry.toObject().value(u"groups"_s).toArray().at(0).toObject().value(u"pos"_s);
    report.check(u"bridge: lookup"_s, entry.isObject() || entry.isNull(),
                 pos.isUndefined() ? QJsonValue(u"no entry"_s) : pos);

    const QJsonValue batch = replies.value(4).value(u"texts"_s);
    const QJsonArray batchTexts = batch.toArray();
    report.check(u"bridge: batch"_s,
                 batch.isArray() && batchTexts.size() == 2 &&
                     std::all_of(batchTexts.begin(), batchTexts.end(),
                                 [](const QJsonValue& element) { return element.isString(); }),
                 shown(replies, 4, u"texts"_s));

    report.check(u"bridge: detect"_s, replies.value(5).value(u"lang"_s) == u"it"_s,
                 shown(replies, 5, u"lang"_s));

    const QStringList languages = texts(replies.value(6).value(u"languages"_s));
    report.check(u"bridge: voices for the extension"_s,
                 languages.contains(u"en"_s) && languages.contains(u"ru"_s), languages.join(u','));

    QStringList found;
    const QJsonValue groups = replies.value(7).value(u"entry"_s).toObject().value(u"groups"_s);
    for (const QJsonValue& group : groups.toArray())
        for (const QJsonValue& term : group.toObject().value(u"terms"_s).toArray())
            if (const QJsonValue termText = term.toObject().value(u"text"_s); termText.isString())
                found << termText.toString();
    // The host fetches the German pack from the source the self-test fetched the others from:
    // one the self-test could not fetch is the likely reason for an empty card.
    const QString problem = packs.problem(bridgeNewLanguage, u"en"_s);
    report.check(u"bridge: a card in a new language (its pack fetched quietly)"_s,
                 found.contains(u"dog"_s),
                 found.isEmpty() && !problem.isEmpty() ? problem : found.mid(0, 4).join(u", "_s));
}

} // namespace tivela::SelfTest
