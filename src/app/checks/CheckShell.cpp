#include "app/checks/CheckShell.h"

#include "app/AppDelegate.h"
#include "app/checks/WindowCheck.h"
#include "core/Lexicon.h"

namespace tivela {

CheckShell::CheckShell(std::optional<LanguagePair> pair)
    : m_workspace(Lexicon::shared(), std::move(pair)) {
    AppDelegate::checkMode = true;
    m_delegate = std::make_unique<AppDelegate>(m_workspace);
}

CheckShell::~CheckShell() {
    m_delegate.reset();
}

QCoro::Task<bool> CheckShell::launch(int milliseconds) {
    m_delegate->didFinishLaunching();
    co_await WindowCheck::wait(milliseconds, [this] { return m_delegate->popover() != nullptr; });
    co_return m_delegate->popover() != nullptr;
}

} // namespace tivela
