#pragma once

#include "app/checks/CheckWorkspace.h"
#include "core/LanguagePair.h"

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace tivela {

class AppDelegate;

// The application shell as the window and keyboard checks drive it: a delegate in check mode
// whose model works in a workspace of its own (a temporary store, the pair in memory), so the
// person's history, phrasebook and settings stay as they are. The delegate goes first, then
// the workspace with its folder.
class CheckShell {
public:
    explicit CheckShell(std::optional<LanguagePair> pair = {});
    ~CheckShell();
    CheckShell(const CheckShell&) = delete;
    CheckShell& operator=(const CheckShell&) = delete;

    AppDelegate& delegate() { return *m_delegate; }
    Store& store() { return m_workspace.store(); }
    // Runs the delegate's launch and waits, at most the bound, until its popover exists;
    // whether it does.
    QCoro::Task<bool> launch(int milliseconds);

private:
    CheckWorkspace m_workspace;
    std::unique_ptr<AppDelegate> m_delegate;
};

} // namespace tivela
