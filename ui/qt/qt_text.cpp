#include "qt_text.h"

#include <QFile>
#include <QStringDecoder>

namespace tv {

QString toDisplay(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return s;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string fromPathText(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string pathFromBox(const QString& shown, const std::string& filledWith) {
    return shown == toDisplay(filledWith) ? filledWith : fromPathText(shown);
}

std::string fromText8(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF) return text.toStdString();
    return text.toLatin1().toStdString();
}

} // namespace tv
