#include "app/checks/CheckShell.h"

#include "app/AppDelegate.h"
#include "app/checks/WindowCheck.h"
#include "core/Lexicon.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace tivela {

CheckShell::CheckShell(std::optional<LanguagePair> pair)
    : m_workspace(Lexicon::shared(), std::move(pair)) {
    // Qt keeps state of its own (the file dialog's history) in the person's settings folder;
    // in a check it goes into the workspace, with everything else the run writes.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, m_workspace.filePath(u"settings"_s));
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
