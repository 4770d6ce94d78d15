#pragma once

#include "app/AppModel.h"
#include "core/LanguagePair.h"
#include "core/Store.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace tivela {

class Lexicon;

// What a check or render mode works in: a temporary folder, a store in it, and the
// application's model on the production services, except that the pair lives in memory. The
// person's history, phrasebook and saved pair stay untouched, and nothing is left behind:
// the model goes first, then the store, then the folder with every database file and its
// journals.
class CheckWorkspace {
public:
    // The folder's name starts with the prefix, so a folder left by a killed run tells whose
    // it was.
    explicit CheckWorkspace(Lexicon& lexicon, std::optional<LanguagePair> pair = {},
                            const QString& prefix = QStringLiteral("tivela-check"));
    ~CheckWorkspace();
    CheckWorkspace(const CheckWorkspace&) = delete;
    CheckWorkspace& operator=(const CheckWorkspace&) = delete;

    // A path in the folder, for further files of the mode (another store).
    QString filePath(const QString& name) const;
    Store& store() { return *m_store; }
    // The production services on this store, with the pair in memory: for a model of the
    // caller's own (the shell's, in the window and keyboard checks) that outlives nothing here.
    const AppServices& services() const { return m_services; }
    // The workspace's own model, made on first use.
    AppModel& model();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<Store> m_store;
    AppServices m_services;
    std::unique_ptr<AppModel> m_model;
};

} // namespace tivela
