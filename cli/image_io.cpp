#include "image_io.h"

#include "args.h"
#include "qt_support.h"

#include "errors.h"
#include "image_adapter.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <climits>
#include <cstdint>

namespace qm::cli {

namespace {

std::string ErrorText(const QString& text) { return text.toStdString(); }

QByteArray FormatFor(const std::string& path)
{
    return QFileInfo(PathToQt(path)).suffix().toLower().toLatin1();
}

} // namespace

Bitmap ReadImageFile(const std::string& path)
{
    QFile file(PathToQt(path));
    if (!file.open(QIODevice::ReadOnly)) {
        throw Error("Cannot open file \"" + path + "\". " + ErrorText(file.errorString()));
    }
    const QByteArray magic = file.peek(2);
    if (magic == "P6") {
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            throw Error("Cannot read image \"" + path + "\". " + ErrorText(file.errorString()));
        }
        return DecodePpm(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    QImageReader reader(&file);
    const QImage image = reader.read();
    if (image.isNull()) {
        throw Error("Cannot read image \"" + path + "\". " + ErrorText(reader.errorString()));
    }
    return qm::FromQImage(image);
}

void WriteImageFile(const std::string& path, const Bitmap& image)
{
    if (EndsWithNoCase(path, ".ppm")) {
        QFile file(PathToQt(path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            throw Error("Cannot create file \"" + path + "\". " + ErrorText(file.errorString()));
        }
        const std::string bytes = EncodePpm(image);
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
            !file.flush()) {
            throw Error("Cannot write image \"" + path + "\". " + ErrorText(file.errorString()));
        }
        return;
    }
    WriteImageFile(path, qm::ToQImage(image));
}

void WriteImageFile(const std::string& path, const QImage& image)
{
    if (EndsWithNoCase(path, ".ppm")) {
        WriteImageFile(path, qm::FromQImage(image));
        return;
    }
    if (image.isNull()) {
        throw Error("Cannot write image \"" + path + "\". The image is empty");
    }
    QFile file(PathToQt(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw Error("Cannot create file \"" + path + "\". " + ErrorText(file.errorString()));
    }
    QImageWriter writer(&file, FormatFor(path));
    if (!writer.write(image)) {
        throw Error("Cannot write image \"" + path + "\". " + ErrorText(writer.errorString()));
    }
}

void CheckWritableName(const std::string& path)
{
    if (EndsWithNoCase(path, ".ppm")) {
        return;
    }
    const QByteArray format = FormatFor(path);
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        throw UsageError("cannot tell an image format from the name '" + path +
                         "' (use .ppm, .png, .bmp or another format Qt writes)");
    }
}

} // namespace qm::cli
