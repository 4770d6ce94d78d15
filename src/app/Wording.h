#pragma once

#include <QString>

// Every text the user reads that says something different here than on the system the texts
// were first written for, in one place: "this Mac" is "this computer", a privacy pane that does
// not exist becomes help, and a language download becomes a package installation.
namespace tivela::Wording {

// The translate tab with nothing to translate.
inline QString translationsStayHere() {
    return QStringLiteral("Translations happen on this computer.");
}

// The engine's languages for a pair are not installed.
inline QString notInstalled(const QString& fromName, const QString& toName) {
    return fromName + QStringLiteral(" and ") + toName +
           QStringLiteral(" aren\u2019t on this computer yet.");
}

// On X11 any program may read the selection: the prompt about reading it explains this
// instead of opening a privacy pane.
inline QString selectionHelp() {
    return QStringLiteral("Learn More");
}

// No package installer answered on the session bus: the user installs the package by hand.
inline QString installTitle() {
    return QStringLiteral("Install Languages");
}

inline QString installText(const QString& fromName, const QString& toName) {
    return QStringLiteral("Translation from ") + fromName + QStringLiteral(" to ") + toName +
           QStringLiteral(" needs a package that no installer on this computer could add. "
                          "Install it in a terminal, then translate again:");
}

inline QString installCommand(const QString& package) {
    return QStringLiteral("sudo apt install ") + package;
}

} // namespace tivela::Wording
