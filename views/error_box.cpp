#include "error_box.h"

#include <QMessageBox>
#include <QStringDecoder>

#include <new>
#include <stdexcept>

namespace qm {

namespace {
ErrorBoxHook g_hook = nullptr;
}

QString DecodeText(std::string_view bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
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

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void SetErrorBoxHook(ErrorBoxHook hook)
{
    g_hook = hook;
}

void ShowErrorBox(QWidget* parent, const QString& message)
{
    const QString text = ErrorBoxText(message);
    if (g_hook) {
        g_hook(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quarlomet Magnetometer"), text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowCurrentException(QWidget* parent)
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        ShowErrorBox(parent, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ShowErrorBox(parent, DecodeText(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unknown error"));
    }
}

} // namespace qm
