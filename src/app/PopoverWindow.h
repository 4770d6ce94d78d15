#pragma once

#include <QRect>
#include <QWidget>

#include <optional>

namespace tivela {

class AppModel;
class PopoverView;
struct ViewServices;

// The tray's popover as a window: frameless, on top and off the taskbar (a tool window),
// holding the PopoverView. Shown, it hangs under its anchor (above it when the screen ends
// first) or centred without one, within the screen's work area: 420 x 600 where there is room,
// smaller with its tab's content scrolling where there is not. It takes the front with the
// keyboard in the input, and reads the clipboard's state every second until it is hidden. A close
// the window manager asks for (Alt+F4) is never refused: Qt 6.4's quit gives up when a window
// refuses; closedByWindowManager tells afterwards.
class PopoverWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 420;
    static constexpr int height = 600;
    static constexpr int clipboardMilliseconds = 1000;
    // Between the tray icon and the popover.
    static constexpr int anchorGap = 4;
    // Less room than this beside the icon, and the popover takes it from the icon's panel.
    static constexpr int minimumHeight = 200;

    // The services outlive the window.
    PopoverWindow(AppModel& model, ViewServices& services);
    ~PopoverWindow() override;

    // Where the popover goes within the screen's available area: under the anchor where it
    // has its height, else above it where it has, else on the side with more room, shrunk to
    // it; centred on the area without an anchor.
    static QRect frame(const std::optional<QRect>& anchor, const QRect& available);

    PopoverView* view() const { return m_view; }
    bool isShown() const { return isVisible(); }
    // Shows it at the anchor's place when it is hidden; either way brings it to the front,
    // with the keyboard in the input.
    void present(const std::optional<QRect>& anchor);
    // Hides it; the clipboard is no longer read.
    void dismiss();

Q_SIGNALS:
    // It came on screen (not when an already shown popover is presented again).
    void shown();
    // The keyboard is on the shown popover, also when Qt never noticed it had gone.
    void keyboardArrived();
    void closedByWindowManager();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void tickClipboard(quint64 run);

    AppModel& m_model;
    PopoverView* m_view = nullptr;
    // The clipboard timer's run: a tick of an older run does nothing.
    quint64 m_clipboardRun = 0;
};

} // namespace tivela
