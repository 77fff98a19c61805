// Message texts are bytes of the modem's code page: shown as UTF-8 when
// they are valid UTF-8, else as Latin-1, so every byte stays legible; what
// the user types is sent as UTF-8.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace kvsms {

inline QString ShownText(const std::string& bytes)
{
    const QByteArray raw = QByteArray::fromStdString(bytes);
    const QString u = QString::fromUtf8(raw);
    if (u.toUtf8() == raw)
        return u;
    return QString::fromLatin1(raw);
}

inline std::string ModemBytes(const QString& text) { return text.toUtf8().toStdString(); }

} // namespace kvsms
