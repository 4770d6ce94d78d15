#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

namespace tivela {

// The record of one check: its name (names need not be unique), whether it passed and what it
// saw.
struct CheckResult {
    QString check;
    bool ok = false;
    QJsonValue detail;
    friend bool operator==(const CheckResult&, const CheckResult&) = default;
};

// The records of a check mode, in the order they were made, and the report file made of them.
class CheckReport {
public:
    void check(const QString& name, bool ok, const QJsonValue& detail);
    const QList<CheckResult>& results() const { return m_results; }
    int passed() const;
    // 0 when every record passed, none at all included, else 1.
    int status() const;
    // "passed", "total" and "results", beside the keys the mode adds.
    QJsonObject toJson(const QJsonObject& extra = {}) const;
    // Writes the report, indented with sorted keys, replacing the file whole; the exit status.
    // A report that cannot be written gives 1 and a line on stderr, so that a run leaving no
    // verdict never reads as a success.
    int write(const QString& path, const QJsonObject& extra = {}) const;

private:
    QList<CheckResult> m_results;
};

} // namespace tivela
