#pragma once

#include "app/views/Label.h"
#include "app/views/TextButton.h"
#include "core/DictionaryEntry.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QVBoxLayout;

namespace tivela {

class AppModel;
class IconButton;
struct ViewServices;

// The word card under a translation: the headword with its pronunciation and a Listen button,
// a note when the word is a form of another, the translations by part of speech as capsules
// (a tap looks one up the other way), the word's senses with examples (three of them until the
// user asks for all), the model's translations of English glosses as they arrive, and a link
// to the desktop's dictionary when one handles dict: URLs. Made anew for each entry, so its
// Show All starts folded; its height for a width holds all of it.
class DictionaryCard : public QWidget {
    Q_OBJECT

public:
    // Senses shown before the user asks for all.
    static constexpr int foldedMeanings = 3;

    DictionaryCard(const DictionaryEntry& entry, AppModel& model, ViewServices& services,
                   QWidget* parent = nullptr);

    const DictionaryEntry& entry() const { return m_entry; }
    // The lemma when there is one, else the word: shown, spoken and looked up.
    QString headword() const;
    bool showsAllMeanings() const { return m_showAll; }
    // The senses on screen.
    int meaningsShown() const { return m_meaningsShown; }
    // "DEFINITIONS" or "MEANINGS"; empty without senses.
    QString meaningsHeading() const;
    // "“Ran” is a form of “run”", or nothing.
    QString formNote() const;
    // Null while there is nothing to show or hide.
    QAbstractButton* showAllButton() const;
    // Hidden while no voice reads the headword's language.
    QAbstractButton* listenButton() const;
    // Hidden until the desktop is known to handle dict: URLs.
    QAbstractButton* dictionaryButton() const;
    QList<QAbstractButton*> termButtons() const { return m_terms; }
    // The translations of English texts on screen, in order.
    QStringList glossLines() const;

    // What the dictionary button opens: every character but the unreserved ones encoded, so a
    // word never reads as a host, a path or a port ("AC/DC" is "dict://AC%2FDC").
    static QString dictionaryUrl(const QString& headword);

    // As wide as it is given: what does not fit is cut short inside, never widening the tab.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Gloss {
        QString english;
        QPointer<Label> line;
    };

    QWidget* makeHeader();
    QWidget* makeGroup(const DictionaryEntry::Group& group);
    QWidget* makeFooter();
    void showMeanings();
    Label* mine(const QString& english, QWidget* parent);
    void showGlosses();
    void updateListen();
    void updateDictionary();
    void lookUpBackwards(const DictionaryEntry::Term& term);

    DictionaryEntry m_entry;
    AppModel& m_model;
    ViewServices& m_services;
    QVBoxLayout* m_stack;
    IconButton* m_listen = nullptr;
    TextButton* m_dictionary = nullptr;
    Label* m_note = nullptr;
    QList<QAbstractButton*> m_terms;
    QPointer<QWidget> m_meanings;
    QPointer<Label> m_meaningsHeading;
    QPointer<TextButton> m_showAllButton;
    QList<Gloss> m_glosses;
    bool m_showAll = false;
    int m_meaningsShown = 0;
};

} // namespace tivela
