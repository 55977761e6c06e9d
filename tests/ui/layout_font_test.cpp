// The interface font the windows are drawn in: large desktop fonts are made just small enough for
// every fixed text to fit its box, and fonts that already fit are left alone.

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

#include "ui/form11.h"
#include "ui/frm_about.h"
#include "ui/layout_font.h"
#include "ui/start_up.h"

namespace {

// Every label's ink ends inside the part of its box left visible (the date runs under the rights
// notice), and every option and button is at least as wide as it asks to be.
void ExpectTextsFit(const QWidget& window) {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->pixmap().isNull()) {
            const QString shown = QString(label->text()).remove(QLatin1Char('&'));
            const qreal inkEnd = QFontMetricsF(label->font()).tightBoundingRect(shown).right();
            const bool covered = label->objectName() == QLatin1String("Label7");
            const int visible =
                covered ? window.findChild<QLabel*>("Label1")->x() - label->x() : label->width();
            QVERIFY2(inkEnd <= visible, qPrintable(label->objectName() + " is cut off"));
        }
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        QVERIFY2(button->sizeHint().width() <= button->width(),
                 qPrintable(button->objectName() + " is cut off"));
    }
}

}  // namespace

class LayoutFontTest : public QObject {
    Q_OBJECT

  private slots:
    void largeFontsShrinkUntilTextsFit_data();
    void largeFontsShrinkUntilTextsFit();
    void fittingFontsStayAsTheyAre();
    void debianDefaultFontFitsAtSevenAndAHalfPoints();
    void windowsBuiltAfterFittingCutNothingOff_data();
    void windowsBuiltAfterFittingCutNothingOff();
    void applicationFontIsOnlyChangedWhenNeeded();
};

void LayoutFontTest::largeFontsShrinkUntilTextsFit_data() {
    QTest::addColumn<qreal>("desktopSize");
    QTest::newRow("9 pt") << 9.0;
    QTest::newRow("11 pt") << 11.0;
    QTest::newRow("20 pt") << 20.0;
}

void LayoutFontTest::largeFontsShrinkUntilTextsFit() {
    QFETCH(qreal, desktopSize);
    const auto texts = ui::BothWindowsTexts();
    QFont desktop = QApplication::font();
    desktop.setPointSizeF(desktopSize);
    const QFont fitting = ui::FontThatFits(texts, desktop, *QApplication::style());

    QCOMPARE(fitting.family(), desktop.family());
    QVERIFY(fitting.pointSizeF() <= desktopSize);
    QVERIFY(ui::TextsFit(texts, fitting, *QApplication::style()));
    // The largest size that fits: half a point more does not.
    if (fitting.pointSizeF() < desktopSize) {
        QFont larger = fitting;
        larger.setPointSizeF(fitting.pointSizeF() + 0.5);
        QVERIFY(!ui::TextsFit(texts, larger, *QApplication::style()));
    }
}

void LayoutFontTest::fittingFontsStayAsTheyAre() {
    QFont small = QApplication::font();
    small.setPointSizeF(6.5);
    QCOMPARE(ui::FontThatFits(ui::BothWindowsTexts(), small, *QApplication::style()), small);
}

// Fit is judged by the ink: at 7.5 points ">>>" advances 25.1 pixels in its 25-pixel box, but its
// glyphs end at the 25th pixel and are drawn in full. At 8 points its ink no longer fits.
void LayoutFontTest::debianDefaultFontFitsAtSevenAndAHalfPoints() {
    QFont desktop(QStringLiteral("DejaVu Sans"));
    desktop.setPointSizeF(9.0);
    if (QFontInfo(desktop).family() != QLatin1String("DejaVu Sans")) {
        QSKIP("DejaVu Sans (fonts-dejavu-core) is not installed");
    }
    QCOMPARE(ui::FontThatFits(ui::BothWindowsTexts(), desktop, *QApplication::style()).pointSizeF(),
             7.5);
}

void LayoutFontTest::windowsBuiltAfterFittingCutNothingOff_data() {
    QTest::addColumn<qreal>("desktopSize");
    QTest::newRow("9 pt") << 9.0;
    QTest::newRow("12 pt") << 12.0;
}

void LayoutFontTest::windowsBuiltAfterFittingCutNothingOff() {
    QFETCH(qreal, desktopSize);
    const QFont original = QApplication::font();
    QFont desktop = original;
    desktop.setPointSizeF(desktopSize);
    QApplication::setFont(desktop);
    ui::FitFontToBothWindows();
    {
        const ui::Form11 main;
        const ui::frmAbout about;
        ExpectTextsFit(main);
        ExpectTextsFit(about);
        // No control carries a font of its own: they all follow the application's.
        for (const QWidget* child : main.findChildren<QWidget*>()) {
            QVERIFY2(!child->testAttribute(Qt::WA_SetFont), qPrintable(child->objectName()));
        }
    }
    QApplication::setFont(original);
}

void LayoutFontTest::applicationFontIsOnlyChangedWhenNeeded() {
    const QFont original = QApplication::font();
    QFont small = original;
    small.setPointSizeF(6.5);
    QApplication::setFont(small);
    ui::FitFontToBothWindows();
    QCOMPARE(QApplication::font().pointSizeF(), 6.5);
    QApplication::setFont(original);
}

QTEST_MAIN(LayoutFontTest)
#include "layout_font_test.moc"
