// The JPEG picture class on the shipped logo and on damaged streams, and the
// picture loader that start-up fills.

#include "gui/JPEGImage.h"

#include "StderrCapture.h"
#include "gui/PictureLoader.h"

#include <QFile>
#include <QImageReader>
#include <QTest>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

using namespace tarvik::gui;

namespace {

QByteArray logoBytes()
{
    QFile file(QStringLiteral(":/about/logo.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Offset of the baseline frame header (SOF0) in a JFIF stream.
qsizetype frameHeader(const QByteArray& bytes)
{
    return bytes.indexOf(QByteArray("\xFF\xC0", 2));
}

QByteArray withByte(QByteArray bytes, qsizetype at, char value)
{
    bytes[at] = value;
    return bytes;
}

int maxChannelDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

} // namespace

class JPEGImageTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void startUpRegistersJpeg();
    void logoIsBaselineJfif();
    void decodesLogoLikeAnIndependentReader();
    void damagedStreamRaisesLibraryCode_data();
    void damagedStreamRaisesLibraryCode();
    void loaderKnowsJpegThenJpg();

  private:
    QByteArray m_logo;
};

void JPEGImageTest::initTestCase()
{
    m_logo = logoBytes();
    QVERIFY(!m_logo.isEmpty());
    QVERIFY(frameHeader(m_logo) > 0);
}

void JPEGImageTest::startUpRegistersJpeg()
{
    // Nothing in this test has registered anything yet.
    QCOMPARE(pictureFormats().size(), size_t(2));
    QVERIFY(dynamic_cast<TJPEGImage*>(createGraphicByClassName("TJPEGImage").get()));
}

void JPEGImageTest::logoIsBaselineJfif()
{
    // Read the header with the library directly, independently of TJPEGImage.
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(m_logo.constData()),
                 static_cast<unsigned long>(m_logo.size()));
    QCOMPARE(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
    const int width = static_cast<int>(info.image_width);
    const int height = static_cast<int>(info.image_height);
    const bool jfif = info.saw_JFIF_marker;
    const bool progressive = info.progressive_mode;
    const int components = info.num_components;
    const bool ycc = info.jpeg_color_space == JCS_YCbCr;
    QList<int> sampling;
    for (int i = 0; i < info.num_components; ++i)
        sampling << info.comp_info[i].h_samp_factor << info.comp_info[i].v_samp_factor;
    jpeg_destroy_decompress(&info);

    QCOMPARE(width, 184);
    QCOMPARE(height, 40);
    QVERIFY(jfif);
    QVERIFY(!progressive);
    QCOMPARE(components, 3);
    QVERIFY(ycc);
    QCOMPARE(sampling, (QList<int>{2, 2, 1, 1, 1, 1}));
}

void JPEGImageTest::decodesLogoLikeAnIndependentReader()
{
    TJPEGImage picture;
    picture.loadFromBytes(m_logo);
    QCOMPARE(picture.width(), 184);
    QCOMPARE(picture.height(), 40);

    QImage reference = QImage::fromData(m_logo, "JPEG");
    if (reference.isNull())
        QSKIP("Qt has no JPEG reader here to compare with");
    QCOMPARE(reference.size(), picture.image().size());
    // Both run libjpeg's decoder; they may differ in the IDCT and upsampling
    // they choose, not in the picture.
    QVERIFY2(maxChannelDifference(picture.image(), reference) <= 8,
             qPrintable(QString::number(maxChannelDifference(picture.image(), reference))));
}

void JPEGImageTest::damagedStreamRaisesLibraryCode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    const QByteArray logo = logoBytes();
    const qsizetype sof = frameHeader(logo);
    QTest::newRow("empty") << QByteArray() << int(JERR_INPUT_EMPTY);
    QTest::newRow("not a JPEG") << QByteArray("GIF89a, not a JPEG at all") << int(JERR_NO_SOI);
    QTest::newRow("truncated in the header") << logo.left(sof + 6) << int(JWRN_JPEG_EOF);
    QTest::newRow("truncated in the picture data")
        << logo.left(logo.size() / 2) << int(JWRN_JPEG_EOF);
    QTest::newRow("end of image marker missing") << logo.chopped(2) << int(JWRN_JPEG_EOF);
    QTest::newRow("12-bit precision") << withByte(logo, sof + 4, 12) << int(JERR_BAD_PRECISION);
    QTest::newRow("zero height") << withByte(withByte(logo, sof + 5, 0), sof + 6, 0)
                                 << int(JERR_EMPTY_IMAGE);
    QTest::newRow("sampling factor 5") << withByte(logo, sof + 11, 0x55) << int(JERR_BAD_SAMPLING);
    QByteArray markerInData = logo;
    markerInData.replace(logo.size() - 200, 2, QByteArray("\xFF\xD0", 2));
    QTest::newRow("stray marker inside the picture data") << markerInData << int(JWRN_HIT_MARKER);
}

void JPEGImageTest::damagedStreamRaisesLibraryCode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    TJPEGImage picture;
    picture.loadFromBytes(m_logo);

    StderrCapture printed;
    try {
        picture.loadFromBytes(bytes);
        QFAIL("no error raised");
    } catch (const JPEGError& error) {
        QCOMPARE(error.code(), code);
        QCOMPARE(QString::fromLatin1(error.what()), QStringLiteral("JPEG error #%1").arg(code));
    }
    QCOMPARE(printed.text(), QByteArray());

    // The picture is still the one that loaded, and decoding goes on working.
    QCOMPARE(picture.image().size(), QSize(184, 40));
    TJPEGImage again;
    again.loadFromBytes(m_logo);
    QCOMPARE(again.image(), picture.image());
}

void JPEGImageTest::loaderKnowsJpegThenJpg()
{
    registerPictureFormats();
    registerPictureFormats(); // a second start-up replaces, it does not add
    QCOMPARE(pictureFormats().size(), size_t(2));
    const QStringList expected{QStringLiteral("jpeg"), QStringLiteral("jpg")};
    for (size_t i = 0; i < pictureFormats().size(); ++i) {
        const auto& format = pictureFormats()[i];
        QCOMPARE(format.extension, expected[int(i)]);
        QCOMPARE(format.description, QStringLiteral("JPEG Image File"));
        QCOMPARE(format.className, QStringLiteral("TJPEGImage"));
        QVERIFY(dynamic_cast<TJPEGImage*>(format.create().get()));
    }
    QVERIFY(dynamic_cast<TJPEGImage*>(createGraphicByClassName("TJPEGImage").get()));
    QVERIFY(!createGraphicByClassName("TBitmap"));
}

int main(int argc, char** argv)
{
    Q_INIT_RESOURCE(about);
    QApplication application(argc, argv);
    JPEGImageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "JPEGImageTest.moc"
