#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>
#include <utility>

class QWidget;

namespace tivela {

class AppModel;
struct ViewServices;

// Turns the model's download request into an installation of the engine's languages: the
// package that brings the pair goes to the desktop's package installer, or, when no installer
// answers, to a message with the command that installs it. A pair that is installed already, or
// that no package brings, ends the prompt at once with a note that says so and waits for
// nothing. Whatever the user answers, the end of the prompt clears the request and translates
// the input again at once. A request for another pair replaces the running prompt; only the
// latest prompt's end counts.
class EnginePrompt : public QObject {
    Q_OBJECT

public:
    EnginePrompt(AppModel& model, ViewServices& services, QWidget* window);

    // Starts following the model's request, with the request it holds now. The popover calls
    // it when it is first shown.
    void begin();
    // Prompts for a pair the user asked for elsewhere (the settings window): its end leaves the
    // model's request and input alone.
    void install(const QString& from, const QString& to);
    // Whether a prompt is running.
    bool isRunning() const { return m_running; }
    // The message of the running prompt, or the note of one that ended, while it shows.
    QMessageBox* message() const { return m_message; }

Q_SIGNALS:
    // A prompt ended: the request was cleared and the input translated again.
    void ended();

private:
    using Pair = std::pair<QString, QString>;

    void requestChanged();
    void prompt(const Pair& pair, bool forModel = true);
    void offer(const Pair& pair, quint64 run);
    void tell(const QString& text);
    void showCommand(const Pair& pair, const QString& package, quint64 run);
    void end(quint64 run);

    AppModel& m_model;
    ViewServices& m_services;
    QPointer<QWidget> m_window;
    bool m_following = false;
    // The pair last seen in the model: the request is written without a test for equality.
    std::optional<Pair> m_seen;
    quint64 m_run = 0;
    bool m_running = false;
    // The running prompt answers the model's request.
    bool m_forModel = true;
    QPointer<QMessageBox> m_message;
};

} // namespace tivela
