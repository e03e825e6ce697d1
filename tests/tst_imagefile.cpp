#include "DesktopBridge.h"
#include "ImageFiles.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImage>

namespace {

QByteArray encoded(const char *format)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

class ImageFileTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private:
    QTemporaryDir folder;

    QString path(const QString &name) const { return folder.filePath(name); }

private slots:
    void readImageFile_data();
    void readImageFile();
    void readsNoMoreThanTheLimit();
};

// Pictures by their content, whatever their names; everything else refused in the page's words.
void ImageFileTest::readImageFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QString notPicture = "不是图片文件（PNG、JPEG、GIF、BMP、WebP 或 SVG）";
    QTest::newRow("png") << "a.png" << encoded("PNG") << QString();
    QTest::newRow("jpeg named .png") << "b.png" << encoded("JPEG") << QString();
    QTest::newRow("bmp") << "c.bmp" << encoded("BMP") << QString();
    QTest::newRow("gif") << "d.gif" << QByteArray::fromBase64("R0lGODlhAQABAAAAACw=") << QString();
    static const char webp[] = "RIFF\x1a\0\0\0WEBPVP8L\x0d\0\0\0\x2f\0\0\0\x10\x07\x10\x11\x11\x88\x88\xfe\x07\0";
    QTest::newRow("webp") << "e.webp" << QByteArray(webp, sizeof webp - 1) << QString();
    QTest::newRow("svg") << "f.svg" << QByteArray("\xEF\xBB\xBF <?xml version=\"1.0\"?>\n<!-- logo -->\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>") << QString();
    QTest::newRow("text named .png") << "g.png" << QByteArray("not a picture") << notPicture;
    QTest::newRow("html") << "h.svg" << QByteArray("<html><body><p>svg</p></body></html>") << notPicture;
    QTest::newRow("svg text after a NUL") << "i.svg" << QByteArray("<svg\0", 5) << notPicture;
    QTest::newRow("empty") << "j.png" << QByteArray() << "无法读取文件";
    QTest::newRow("missing") << "" << QByteArray() << "无法读取文件";
    QTest::newRow("folder") << "sub" << QByteArray() << "无法读取文件";
}

void ImageFileTest::readImageFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QString target = name.isEmpty() ? path("missing.png") : path(name);
    if (name == "sub")
        QVERIFY(QDir(folder.path()).mkpath("sub"));
    else if (!name.isEmpty())
        QVERIFY(writeFile(target, bytes));
    DesktopBridge bridge(nullptr, nullptr);
    const QJsonObject reply = parsed(call(bridge, "readImageFile", {target}));
    QCOMPARE(reply.value("error").toString(), error);
    QCOMPARE(reply.value("ok").toBool(), error.isEmpty());
    if (error.isEmpty()) {
        QCOMPARE(QByteArray::fromBase64(reply.value("dataBase64").toString().toLatin1()), bytes);
        QCOMPARE(reply.value("path").toString(), target);
        QCOMPARE(reply.value("name").toString(), name);
    }
}

// A picture of exactly 20 MB is read; one byte more is refused without reading it whole.
void ImageFileTest::readsNoMoreThanTheLimit()
{
    QByteArray bytes = encoded("PNG");
    bytes.append(QByteArray(maxImageFileBytes - bytes.size(), '\0'));
    QVERIFY(writeFile(path("big.png"), bytes));
    QCOMPARE(readPictureFile(path("big.png")).bytes.size(), maxImageFileBytes);
    bytes.append('\0');
    QVERIFY(writeFile(path("big.png"), bytes));
    const ImageFileRead over = readPictureFile(path("big.png"));
    QCOMPARE(over.error, QString("图片文件超过 20 MB"));
    QVERIFY(over.bytes.isEmpty());
}

QUILLMARK_TEST_MAIN(ImageFileTest)
#include "tst_imagefile.moc"
