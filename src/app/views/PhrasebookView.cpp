#include "app/views/PhrasebookView.h"

#include "app/AppModel.h"
#include "app/Wording.h"
#include "app/views/IconButton.h"
#include "app/views/ItemRow.h"
#include "app/views/Label.h"
#include "app/views/TabHeader.h"
#include "app/views/ViewServices.h"
#include "core/Speaker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

void removeCard(AppModel& model, const Item& item) {
    model.writer().deletePhrase(item);
    model.reloadPhrases();
}

} // namespace

PhrasebookView::PhrasebookView(AppModel& model, ViewServices& services, QWidget* parent)
    : ListTab(model,
              {[&model] { return model.phraseSearch(); },
               [&model](const QString& text) { model.setPhraseSearch(text); },
               [&model] { return model.phrases(); }},
              u"Phrasebook"_s, u"Search phrasebook"_s, true,
              {u"star"_s, u"Your phrasebook is empty"_s,
               u"Press \u2605 under a translation to keep it. Words you save in the browser "
               "extension appear here too."_s},
              parent)
    , m_services(services)
    , m_count(new Label(QString(), 12, QFont::Normal, Theme::Tone::tertiary))
    , m_more(new IconButton(u"ellipsis"_s, u"More"_s, false))
    , m_menu(new QMenu(this)) {
    header()->addLeading(m_count);
    header()->addTrailing(m_more);
    focusAfter(m_more);
    connect(&model, &AppModel::phraseSearchChanged, this, &PhrasebookView::showSearch);
    connect(&model, &AppModel::phrasesChanged, this, &PhrasebookView::showList);
    AppModel* shown = &m_model;
    m_menu->addAction(u"Practice with Cards"_s, m_menu, [shown] { shown->setTab(Tab::cards); });
    m_menu->addAction(u"Export as CSV\u2026"_s, this, &PhrasebookView::exportCSV);
    connect(m_more, &QAbstractButton::clicked, this,
            [this] { m_menu->popup(m_more->mapToGlobal(QPoint(0, m_more->height()))); });
    connect(list(), &ItemList::speakRequested, this, [this](const Item& item) {
        if (m_services.speaker)
            m_services.speaker->speak(item.text, item.from, m_services.hints());
    });
    listChanged();
}

// Every live card, whatever the search; counted again whenever the list changes, which is on
// every keystroke in the search.
void PhrasebookView::listChanged() {
    m_count->setText(QString::number(m_model.writer().phraseCount()));
}

QString PhrasebookView::countText() const {
    return m_count->text();
}

void PhrasebookView::removeRow(const Item& item) {
    removeCard(m_model, item);
}

QMenu* PhrasebookView::rowMenu(const Item& item) {
    auto* menu = new QMenu(this);
    AppModel* model = &m_model;
    menu->addAction(u"Open"_s, menu, [model, item] { model->open(item); });
    menu->addSeparator();
    menu->addAction(u"Remove from Phrasebook"_s, menu, [model, item] { removeCard(*model, item); });
    return menu;
}

// Our own dialog, opened rather than run: the tab may be replaced while it is up, so its
// answer is handled with the model and the window alone.
void PhrasebookView::exportCSV() {
    if (m_dialog)
        return;
    QWidget* window = this->window();
    auto* dialog = new QFileDialog(window, u"Export as CSV"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(u"Comma-separated values (*.csv)"_s);
    dialog->setDefaultSuffix(u"csv"_s);
    // The Documents folder may be named but not made: Qt would open the working folder.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog->setDirectory(QFileInfo(documents).isDir() ? documents : QDir::homePath());
    dialog->selectFile(u"Phrasebook.csv"_s);
    AppModel* model = &m_model;
    QPointer<QWidget> owner = window;
    connect(dialog, &QFileDialog::fileSelected, dialog,
            [model, owner](const QString& path) { writeExport(*model, path, owner); });
    m_dialog = dialog;
    dialog->open();
}

bool PhrasebookView::writeExport(AppModel& model, const QString& path, QWidget* window) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(model.exportCSV().toUtf8()) >= 0 &&
        file.commit())
        return true;
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(u"Export as CSV"_s);
    box->setTextFormat(Qt::PlainText);
    box->setText(Wording::exportFailed(QDir::toNativeSeparators(path)));
    box->setInformativeText(file.errorString());
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
    return false;
}

} // namespace tivela
