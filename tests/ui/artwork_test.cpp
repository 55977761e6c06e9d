// The pictures built into the program: the icon keeps its transparent surround at every size, and
// the photograph is the 100 x 100 one.

#include <QIcon>
#include <QImage>
#include <QTest>

#include "ui/artwork.h"

class ArtworkTest : public QObject {
    Q_OBJECT

  private slots:
    void iconIsTransparentAroundItsArtwork_data();
    void iconIsTransparentAroundItsArtwork();
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

void ArtworkTest::photographIsHundredPixelsSquare() {
    QCOMPARE(ui::ProductPhoto().size(), QSize(100, 100));
}

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
