// The one rule for narrow text on Qt: the application's bytes are Latin-1 characters (a scan's
// byte 0xE9 is shown as the 'é' it is typed as), except file names, which are in the platform's
// file-name encoding so that a path reads back as the bytes that open it.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

namespace afx::qt {

inline QString fromNarrow(const char* text, qsizetype length = -1) {
    return QString::fromLatin1(text != nullptr ? text : "", text != nullptr ? length : 0);
}
inline QString fromNarrow(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

inline QString fromFileName(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}
inline std::string toFileName(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

}  // namespace afx::qt
