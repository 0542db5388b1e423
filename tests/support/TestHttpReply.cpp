#include "TestHttpReply.h"

#include <QBuffer>
#include <QColor>
#include <QImage>

TestHttpReply TestHttpReply::dropped(Ending ending) { return {.ending = ending, .answers = false}; }

TestHttpReply TestHttpReply::silent() { return {.ending = Ending::Never, .answers = false}; }

TestHttpReply TestHttpReply::picture(const QByteArray &bytes)
{
    return {.extraHeaders = "Content-Type: image/png\r\n", .pieces = {bytes}, .announceLength = true};
}

QByteArray TestHttpReply::png(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
