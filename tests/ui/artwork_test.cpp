// The pictures built into the program: the window icon is the application's .ico (its 24-bit
// images with their masks) and keeps its transparent surround at every size, and the photograph is
// the 100 x 100 one.

#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QTest>

#include "ui/artwork.h"

class ArtworkTest : public QObject {
    Q_OBJECT

  private slots:
    void iconIsTransparentAroundItsArtwork_data();
    void iconIsTransparentAroundItsArtwork();
    void iconIsTheIcoFilesDeepestImages_data();
    void iconIsTheIcoFilesDeepestImages();
    void photographIsHundredPixelsSquare();
};

void ArtworkTest::iconIsTransparentAroundItsArtwork_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("16") << 16;
    QTest::newRow("32") << 32;
    QTest::newRow("48") << 48;
}

void ArtworkTest::iconIsTransparentAroundItsArtwork() {
    QFETCH(int, size);
    const QImage image = ui::AppIcon().pixmap(size, size).toImage();
    QCOMPARE(image.size(), QSize(size, size));
    // The top-left corner lies outside the drawing; a black square there means the mask was lost.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    // And the artwork itself is opaque and in colour somewhere in the middle.
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
}

void ArtworkTest::iconIsTheIcoFilesDeepestImages_data() {
    iconIsTransparentAroundItsArtwork_data();
}

// The built-in pixels are written by the icon script beside the .ico; a stale copy shows here.
void ArtworkTest::iconIsTheIcoFilesDeepestImages() {
    QFETCH(int, size);
    // Qt's ICO reader keeps the mask of the 256-colour image but not of the 24-bit one.
    QImage colours;
    QImage mask;
    QImageReader reader(QStringLiteral(ZENTRIQ_ICO));
    for (int i = 0; reader.jumpToImage(i); ++i) {
        const QImage image = reader.read();
        const int depth = image.text(QStringLiteral("_q_icoOrigDepth")).toInt();
        if (image.width() == size && depth == 24) {
            colours = image.convertToFormat(QImage::Format_ARGB32);
        } else if (image.width() == size && depth == 8) {
            mask = image.convertToFormat(QImage::Format_ARGB32);
        }
    }
    QVERIFY(!colours.isNull() && !mask.isNull());
    const QImage shown =
        ui::AppIcon().pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool opaque = qAlpha(mask.pixel(x, y)) == 255;
            const QRgb expected = opaque ? colours.pixel(x, y) | 0xFF000000u : 0u;
            QCOMPARE(qAlpha(shown.pixel(x, y)), qAlpha(expected));
            if (opaque) {
                QCOMPARE(shown.pixel(x, y), expected);
            }
        }
    }
}

void ArtworkTest::photographIsHundredPixelsSquare() {
    QCOMPARE(ui::ProductPhoto().size(), QSize(100, 100));
}

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
