#pragma once

#include <QLatin1StringView>
#include <QMetaEnum>
#include <QString>
#include <QStringView>

#include <optional>

namespace tivela {

// An enumeration registered with Q_ENUM or Q_ENUM_NS whose stored text is the enumerator's own
// name.
namespace EnumText {

template <typename E>
QString text(E value) {
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(static_cast<int>(value)));
}

// The enumerator named exactly so; nothing for any other text. Unlike
// QMetaEnum::keyToValue, no scope prefix and nothing after a NUL is accepted.
template <typename E>
std::optional<E> value(QStringView text) {
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    for (int i = 0; i < meta.keyCount(); ++i)
        if (QLatin1StringView(meta.key(i)) == text)
            return static_cast<E>(meta.value(i));
    return std::nullopt;
}

} // namespace EnumText

} // namespace tivela
