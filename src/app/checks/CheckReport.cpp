#include "app/checks/CheckReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela {

void CheckReport::check(const QString& name, bool ok, const QJsonValue& detail) {
    m_results.append({name, ok, detail});
}

int CheckReport::passed() const {
    return int(std::count_if(m_results.begin(), m_results.end(),
                             [](const CheckResult& result) { return result.ok; }));
}

int CheckReport::status() const {
    return passed() == m_results.size() ? 0 : 1;
}

QJsonObject CheckReport::toJson(const QJsonObject& extra) const {
    QJsonArray results;
    for (const CheckResult& result : m_results)
        results.append(QJsonObject{
            {u"check"_s, result.check}, {u"ok"_s, result.ok}, {u"detail"_s, result.detail}});
    QJsonObject report = extra;
    report.insert(u"passed"_s, passed());
    report.insert(u"total"_s, int(m_results.size()));
    report.insert(u"results"_s, results);
    return report;
}

int CheckReport::write(const QString& path, const QJsonObject& extra) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(toJson(extra)).toJson(QJsonDocument::Indented)) < 0 ||
        !file.commit()) {
        std::fprintf(stderr, "tivela: cannot write the report %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return 1;
    }
    return status();
}

} // namespace tivela
