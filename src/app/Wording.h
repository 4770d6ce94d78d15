#pragma once

#include <QString>
#include <QStringList>

// Every text the user reads that says something different here than on the system the texts
// were first written for, in one place: "this Mac" is "this computer", a privacy pane that does
// not exist becomes help, and a language download becomes a package installation.
namespace tivela::Wording {

// The translate tab with nothing to translate.
inline QString translationsStayHere() {
    return QStringLiteral("Translations happen on this computer.");
}

// A text handed over by another program was longer than Tivela takes (IncomingText); the
// character count beside it says how much was kept.
inline QString inputCut() {
    return QStringLiteral("Only the beginning of this long text was kept.");
}

// A second start hands its arguments to the running copy over the session bus, which did not
// answer in time.
inline QString runningCopySilent() {
    return QStringLiteral("Tivela is already running but didn\u2019t answer. Try again, or end it "
                          "and start it again.");
}

// The engine's languages for a pair are not installed.
inline QString notInstalled(const QString& fromName, const QString& toName) {
    return fromName + QStringLiteral(" and ") + toName +
           QStringLiteral(" aren\u2019t on this computer yet.");
}

// A language of the menus that only the dictionary knows: its words get a card, but the
// engine translates nothing from it.
inline QString dictionaryOnly(const QString& name) {
    return name + QStringLiteral(" (dictionary only)");
}

// The history tab with nothing to show.
inline QString historyStaysHere() {
    return QStringLiteral("Your translations appear here, newest first. They stay on this "
                          "computer.");
}

// An export of the phrasebook that could not be written, and why.
inline QString exportFailed(const QString& path) {
    return QStringLiteral("The phrasebook couldn\u2019t be saved to \u201C") + path +
           QStringLiteral("\u201D.");
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

// Asked to install languages the engine has already.
inline QString installedText(const QString& fromName, const QString& toName) {
    return QStringLiteral("Translation from ") + fromName + QStringLiteral(" to ") + toName +
           QStringLiteral(" is installed on this computer: there is nothing to install.");
}

// Asked to install languages no package of the engine brings.
inline QString noPackageText(const QString& fromName, const QString& toName) {
    return QStringLiteral("Apertium, the engine Tivela translates with, has no package for "
                          "translation from ") +
           fromName + QStringLiteral(" to ") + toName + QStringLiteral(".");
}

// What "Learn More" of the selection prompt says: here nothing needs allowing.
inline QString selectionHelpTitle() {
    return QStringLiteral("Reading the Selection");
}

inline QString selectionHelpText(const QString& shortcut) {
    return QStringLiteral("Select text in any program and press ") + shortcut +
           QStringLiteral(". Tivela reads the selection from the X11 session; when a program "
                          "keeps it to itself, Tivela copies it with Ctrl+C and puts your "
                          "clipboard back as it was. Terminals are never sent Ctrl+C.\n\n"
                          "On Wayland, programs cannot read each other\u2019s selection: "
                          "paste the text into Tivela instead.");
}

// With no tray to click, the way back to the popover is starting the program again.
inline QString noTray() {
    return QStringLiteral("Tivela is running, but this desktop has no tray for its icon. "
                          "Start tivela again to open it.");
}

// The same, as the desktop's notification says it, with the ways to open Tivela there.
inline QString noTrayTitle() {
    return QStringLiteral("Tivela is running");
}

inline QString noTrayNotice(const QString& shortcut) {
    return QStringLiteral("This desktop has no tray for its icon. To open Tivela, press ") +
           shortcut +
           QStringLiteral(" with nothing selected, or start it again from your desktop\u2019s "
                          "menu or with the command tivela.");
}

// Started outside a desktop session: the tray application has nowhere to live.
inline QString needsDesktop() {
    return QStringLiteral("Tivela needs a desktop session: neither DISPLAY nor WAYLAND_DISPLAY "
                          "is set.");
}

// The self-test's record of the voices the machine offers.
inline QString voicesCheck() {
    return QStringLiteral("speech: voices on this computer (info)");
}

// The "description" of the browsers' host manifest.
inline QString manifestDescription() {
    return QStringLiteral("Tivela for Linux: on-device translation, dictionary and phrasebook "
                          "for the browser extension");
}

// The updater never installs: its second setting only fetches the release.
inline QString automaticallyDownloadUpdates() {
    return QStringLiteral("Automatically download updates");
}

// The window of a check, in place of the update framework's own.
inline QString updateWindowTitle() {
    return QStringLiteral("Software Update");
}

inline QString updateFound() {
    return QStringLiteral("A new version of Tivela is available");
}

inline QString updateFoundText(const QString& available, const QString& current) {
    return QStringLiteral("Tivela ") + available + QStringLiteral(" is available; you have ") +
           current + QStringLiteral(".");
}

inline QString updateSaved(const QString& path) {
    return QStringLiteral("It was saved to ") + path + QStringLiteral(".");
}

inline QString upToDate() {
    return QStringLiteral("You\u2019re up to date");
}

inline QString upToDateText(const QString& current) {
    return QStringLiteral("Tivela ") + current + QStringLiteral(" is the newest version.");
}

inline QString updateFailed() {
    return QStringLiteral("Tivela couldn\u2019t check for updates");
}

inline QString download() {
    return QStringLiteral("Download\u2026");
}

inline QString close() {
    return QStringLiteral("Close");
}

// The settings window. The desktop has no Services menu, so the shortcut's note ends early.
inline QString shortcutFootnote() {
    return QStringLiteral(
        "Select text in any app and press the shortcut. With nothing selected, it opens Tivela.");
}

// A recorded shortcut the X server would not grab for us.
inline QString shortcutInUse() {
    return QStringLiteral("In use by another application.");
}

// The server grants a key in each state of the lock keys to one program: another holds the
// states named, each "with Num Lock on", and the shortcut works in the others.
inline QString shortcutPartlyInUse(const QStringList& states) {
    return QStringLiteral("In use by another application ") + states.join(QStringLiteral(", or ")) +
           QStringLiteral(".");
}

inline QString withLocks(bool capsLock, bool numLock) {
    if (capsLock && numLock)
        return QStringLiteral("with Caps Lock and Num Lock on");
    if (capsLock || numLock)
        return capsLock ? QStringLiteral("with Caps Lock on") : QStringLiteral("with Num Lock on");
    return QStringLiteral("with no lock key on");
}

// A shortcut chosen in the settings that another program holds in every state: the saved one
// stays.
inline QString shortcutRefused(const QString& shortcut) {
    return shortcut + QStringLiteral(" is in use by another application.");
}

// The popover's line on a shortcut another program holds says where to change it.
inline QString chooseShortcutInSettings() {
    return QStringLiteral("Choose another in Settings.");
}

// While recording, the keys pressed never came: another program's grab takes them first.
inline QString shortcutKeysHeld() {
    return QStringLiteral("The keys you are pressing don\u2019t reach Tivela: another "
                          "application may hold them.");
}

inline QString shortcutNeedsX11() {
    return QStringLiteral("Global shortcuts need an X11 session.");
}

// No settings pane manages the engine's languages: its packages are installed instead.
inline QString installLanguages() {
    return QStringLiteral("Install Languages\u2026");
}

// Where the dictionary packs come from and under which licences (their headers say the same).
inline QString dictionaryFootnote() {
    return QStringLiteral(
        "Word cards come from WordNet 3.0 (Princeton University, WordNet licence), FreeDict, "
        "Mueller\u2019s English\u2013Russian dictionary and Apertium (GNU GPL). The dictionaries "
        "for your languages download by themselves in the background, any other "
        "language\u2019s the first time you need it; lookups never leave this computer.");
}

// The card's credit: the sources its packs name in their headers, or what every pack is made
// of when a pack names none.
inline QString dictionaryCredit(const QStringList& sources) {
    return sources.isEmpty() ? QStringLiteral("WordNet \u00B7 FreeDict \u00B7 Apertium")
                             : sources.join(QStringLiteral(" \u00B7 "));
}

// A dictionary row whose language the pack server does not offer.
inline QString packNotAvailable() {
    return QStringLiteral("Not available");
}

// Why a "Get" ended without a pack when the server's index has it, or has no index.
inline QString packDownloadFailed() {
    return QStringLiteral("Download failed");
}

// Why a "Get" ended without a pack, when the pack came and failed a check or took too long.
inline QString packTooLarge() {
    return QStringLiteral("Pack too large");
}

inline QString packDamaged() {
    return QStringLiteral("Pack damaged");
}

inline QString packNotAsListed() {
    return QStringLiteral("Pack doesn\u2019t match the server\u2019s list");
}

inline QString packTooSlow() {
    return QStringLiteral("Server too slow");
}

inline QString browserFootnote() {
    return QStringLiteral(
        "With Tivela for Linux installed, the extension translates with this computer\u2019s "
        "engine and shares your phrasebook. Directly, without any server. Web pages use the "
        "on-device engine when it is downloaded, and the extension\u2019s own offline engine "
        "otherwise.");
}

inline QString privacyText() {
    return QStringLiteral("Tivela translates on this computer with the on-device engine. Your "
                          "text, history and phrasebook never leave it. No account, no "
                          "analytics.");
}

} // namespace tivela::Wording
