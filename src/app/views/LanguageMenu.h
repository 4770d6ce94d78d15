#pragma once

#include <QAbstractButton>
#include <QStringList>

#include <optional>

class QComboBox;
class QMenu;

namespace tivela {

// The compact pull-down of the translate tab's header: its title (and, when given, a second,
// smaller text) with a chevron, opening a menu of languages by name with a check mark on the
// selected one, and, for the source, "Detect Language" first. Choosing an entry, the checked
// one too, reports its code ("auto" for detection); the menu keeps no state of its own. In the
// open menu, typing a language's first letters moves to it.
class LanguageMenu : public QAbstractButton {
    Q_OBJECT

public:
    explicit LanguageMenu(bool includeDetect, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const { return text(); }
    void setDetectedName(const std::optional<QString>& name);
    // The codes listed; those not among the engine's languages (when it names any) are marked
    // as the dictionary's only.
    void setLanguages(const QStringList& codes, const QStringList& engine = {});
    void setSelected(const QString& code);

    // The menu with its entries as they stand.
    QMenu* menu();

    // The entry that typed letters lead to: the first whose name begins with them (accents and
    // case aside), or, for one letter typed again, the next of that letter after the current
    // entry; -1 for none.
    static int typeSelect(const QStringList& names, int current, const QString& typed);
    // The same typing in the open list of a picker of languages.
    static void followTyping(QComboBox* picker);
    // The engine's languages and those of every dictionary pack, in menu order: a word of a
    // language the engine lacks still gets its card.
    static QStringList withDictionaries(const QStringList& engine);
    // A language's name in a list, marked when the engine names languages but not this one.
    static QString entryName(const QString& code, const QStringList& engine);
    QSize sizeHint() const override;

Q_SIGNALS:
    void chosen(const QString& code);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void build();

    bool m_includeDetect;
    std::optional<QString> m_detectedName;
    QStringList m_languages;
    QStringList m_engine;
    QString m_selected;
    QMenu* m_menu;
    bool m_built = false;
};

} // namespace tivela
