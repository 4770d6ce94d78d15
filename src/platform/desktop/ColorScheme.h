#pragma once

#include <QDBusConnection>
#include <QObject>

#include <optional>

class QDBusMessage;

namespace tivela {

// The desktop's light or dark preference, from the XDG desktop portal's settings on the session
// bus: read without blocking when made, then followed as the portal announces changes.
class ColorScheme : public QObject {
    Q_OBJECT

public:
    enum class Preference { none, dark, light };

    static constexpr int defaultAnswerMilliseconds = 2000;

    explicit ColorScheme(QDBusConnection bus = QDBusConnection::sessionBus(),
                         int answerMilliseconds = defaultAnswerMilliseconds,
                         QObject* parent = nullptr);

    // Nothing until the portal has answered, or has failed to within the time allowed (no
    // preference then).
    std::optional<Preference> preference() const { return m_preference; }

    // The portal's value of "color-scheme": 1 is dark, 2 light, anything else no preference.
    // Older portals wrap it in a variant twice.
    static Preference fromPortal(const QVariant& value);

Q_SIGNALS:
    // The preference became known, or changed.
    void changed();

private Q_SLOTS:
    void settingChanged(const QDBusMessage& message);

private:
    void set(Preference preference);

    std::optional<Preference> m_preference;
};

} // namespace tivela
