// 8-bit text to and from Qt strings, by the display rule of the survey core.
#include "text_codec.h"

#include "text8.h"

#include <QStringDecoder>

namespace qm {

QString DecodeText(std::string_view bytes)
{
    // The decoder (not QString::fromUtf8) so that a leading byte order mark is dropped, as it always was.
    const std::string utf8 = DisplayText(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::string EncodeText(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF) {
            const QByteArray utf8 = text.toUtf8();
            return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        }
    }
    const QByteArray latin1 = text.toLatin1();
    return std::string(latin1.constData(), static_cast<std::size_t>(latin1.size()));
}

} // namespace qm
