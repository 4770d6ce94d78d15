#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace tivela::packbuild {

// A FreeDict dictionary as Debian installs it for dictd: an index of headwords with the
// base64 offsets and lengths of their articles, and the articles in a .dict or dictzip
// .dict.dz file.
class FreeDict {
public:
    // One translation line of an article: its terms, the labels in square brackets, and the
    // examples ("source" - "translation") that follow it.
    struct Group {
        QStringList terms;
        QStringList labels;
        QList<QPair<QString, QString>> examples;
    };

    struct Entry {
        QString headword;
        QString ipa;
        // As the article writes it between angle brackets, for example "n, masc" or "vt".
        QString pos;
        QList<Group> groups;
        // Headwords the article refers to with "see:".
        QStringList see;
    };

    // Reads "<folder>/freedict-<name>.index" and its .dict.dz or .dict; false when missing
    // or unreadable.
    bool load(const QString& folder, const QString& name, QString* error);

    // Every article once, in the order of the file.
    const QList<Entry>& entries() const { return m_entries; }
    // The text of the "00-database-info" article: edition, licence and sources.
    const QString& info() const { return m_info; }
    // The value of a "Key: value" line of the info article, such as "Edition".
    QString infoField(const QString& key) const;
    // The indented paragraph under a heading of the info article, such as "Availability"
    // (copyright and licence), on one line.
    QString infoSection(const QString& heading) const;

    static Entry parse(const QString& article);

private:
    QList<Entry> m_entries;
    QString m_info;
};

} // namespace tivela::packbuild
