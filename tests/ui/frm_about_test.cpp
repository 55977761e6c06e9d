// The About window: its fixed content, colours, separator, photograph and stacking, and the ways a
// user opens it from the main window's Help button and closes it again.

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <memory>

#include "ui/artwork.h"
#include "ui/form11.h"
#include "ui/frm_about.h"
#include "window_queries.h"

class FrmAboutTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void shouldHaveDefaultValue_data();
    void shouldHaveDefaultValue();
    void shouldBeAFixedWindowWithoutOwner();
    void stackingOrder();
    void separatorIsGreyOverWhite_data();
    void separatorIsGreyOverWhite();
    void photographIsUnscaledAndClipped();
    void chosenTextsFitTheirLabels_data();
    void chosenTextsFitTheirLabels();

    void helpOpensItWithFocusOnOk();
    void eachWayOfClosingDestroysIt_data();
    void eachWayOfClosingDestroysIt();
    void reopensWithSameContent();

  private:
    ui::frmAbout* OpenFromHelp();

    std::unique_ptr<ui::Form11> form_;
    QPointer<ui::frmAbout> about_;  // built on its own, for the tests of its content
};

void FrmAboutTest::init() {
    about_ = new ui::frmAbout();
}

void FrmAboutTest::cleanup() {
    form_.reset();
    qDeleteAll(AboutWindows());
}

ui::frmAbout* FrmAboutTest::OpenFromHelp() {
    delete about_.data();
    form_ = std::make_unique<ui::Form11>();
    form_->show();
    form_->activateWindow();
    if (!QTest::qWaitForWindowActive(form_.get())) {
        return nullptr;
    }
    QTest::mouseClick(Get<QPushButton>(form_.get(), "Command2"), Qt::LeftButton);
    const QList<ui::frmAbout*> windows = AboutWindows();
    if (windows.size() != 1 || !QTest::qWaitForWindowActive(windows.first())) {
        return nullptr;
    }
    return windows.first();
}

void FrmAboutTest::shouldHaveDefaultValue_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");  // in pixels, 15 twips each
    QTest::addColumn<bool>("black");      // black text rather than the default colour

    QTest::newRow("picIcon") << "picIcon"
                             << "QLabel"
                             << "" << QRect(8, 8, 80, 104) << false;
    QTest::newRow("lblTitle") << "lblTitle"
                              << "QLabel"
                              << "ZENTRIQ V1.00" << QRect(96, 8, 171, 16) << true;
    QTest::newRow("lblVersion") << "lblVersion"
                                << "QLabel"
                                << "DESIGN FOR DELTA PLC  DVP Series " << QRect(96, 24, 203, 15)
                                << false;
    QTest::newRow("Label4") << "Label4"
                            << "QLabel"
                            << "SS/ES/EX Series" << QRect(104, 48, 115, 15) << false;
    QTest::newRow("Label5") << "Label5"
                            << "QLabel"
                            << "SA/SC/SX Series" << QRect(104, 64, 115, 15) << false;
    QTest::newRow("Label6") << "Label6"
                            << "QLabel"
                            << "SV/EH/EH2 Series" << QRect(104, 80, 115, 15) << false;
    QTest::newRow("lblDescription") << "lblDescription"
                                    << "QLabel"
                                    << "HOLVENT .Co" << QRect(104, 112, 139, 22) << true;
    QTest::newRow("Label7") << "Label7"
                            << "QLabel"
                            << "November , 13, 2009" << QRect(104, 128, 115, 22) << true;
    QTest::newRow("Label1") << "Label1"
                            << "QLabel" << QString::fromUtf8("© 2009 HOLVENT")
                            << QRect(216, 128, 115, 22) << true;
    QTest::newRow("lblDisclaimer") << "lblDisclaimer"
                                   << "QLabel"
                                   << "www.holvent.example" << QRect(16, 160, 194, 23) << true;
    QTest::newRow("Label2") << "Label2"
                            << "QLabel"
                            << "support@holvent.example" << QRect(16, 176, 169, 23) << true;
    QTest::newRow("cmdOK") << "cmdOK"
                           << "QPushButton"
                           << "OK" << QRect(232, 160, 84, 23) << false;
}

void FrmAboutTest::shouldHaveDefaultValue() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(bool, black);

    QWidget* control = Get(about_, name);
    QVERIFY2(control->inherits(qPrintable(className)), control->metaObject()->className());
    QCOMPARE(control->geometry(), geometry);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), text);
        QVERIFY(button->isDefault());
        return;
    }
    auto* label = qobject_cast<QLabel*>(control);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->frameShape(), QFrame::NoFrame);
    QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    QCOMPARE(label->testAttribute(Qt::WA_SetPalette), black);  // default colours stay untouched
    if (black) {
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    }
    if (!text.isEmpty()) {
        QCOMPARE(label->accessibleName(), text);
    }
}

void FrmAboutTest::shouldBeAFixedWindowWithoutOwner() {
    QCOMPARE(about_->windowTitle(), QStringLiteral("ZENTRIQ V1.00  [DELTA DVP Series ..."));
    QCOMPARE(about_->geometry(), QRect(480, 194, 328, 214));  // the client area
    QCOMPARE(about_->minimumSize(), QSize(328, 214));
    QCOMPARE(about_->maximumSize(), QSize(328, 214));
    QCOMPARE(about_->parentWidget(), nullptr);
    QVERIFY(!about_->isModal());
    QVERIFY(about_->testAttribute(Qt::WA_DeleteOnClose));
    const Qt::WindowFlags flags = about_->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);  // a dialog type would get an owner on X11
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    QSet<int> iconSizes;
    for (const QSize& size : about_->windowIcon().availableSizes()) {
        iconSizes.insert(size.width());
    }
    QCOMPARE(iconSizes, (QSet<int>{16, 32, 48}));
}

void FrmAboutTest::stackingOrder() {
    // Bottom first: Qt keeps siblings in stacking order.
    const QStringList bottomToTop = {
        "lblDisclaimer", "lblVersion", "Line1_0", "lblDescription", "Line1_1", "Label2", "Label4",
        "Label5",        "Label6",     "Label7",  "lblTitle",       "Label1",  "cmdOK",  "picIcon",
    };
    QStringList stacked;
    for (QObject* child : about_->children()) {
        if (child->isWidgetType()) {
            stacked << child->objectName();
        }
    }
    QCOMPARE(stacked, bottomToTop);
}

void FrmAboutTest::separatorIsGreyOverWhite_data() {
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<QColor>("colour");
    const QColor grey(128, 128, 128);
    const QColor white(255, 255, 255);
    QTest::newRow("grey line starts at x 6") << QPoint(6, 152) << grey;
    QTest::newRow("grey over white") << QPoint(150, 152) << grey;
    QTest::newRow("white below grey") << QPoint(150, 153) << white;
    QTest::newRow("white starts at x 8") << QPoint(8, 153) << white;
    QTest::newRow("white ends at x 288") << QPoint(288, 153) << white;
    QTest::newRow("grey goes on to x 319") << QPoint(319, 152) << grey;
}

void FrmAboutTest::separatorIsGreyOverWhite() {
    QFETCH(QPoint, pixel);
    QFETCH(QColor, colour);
    const QImage shot = about_->grab().toImage();
    QCOMPARE(shot.pixelColor(pixel), colour);
    const QColor background = about_->palette().color(QPalette::Window);
    QCOMPARE(shot.pixelColor(5, 152), background);
    QCOMPARE(shot.pixelColor(289, 153), background);
    QCOMPARE(shot.pixelColor(150, 154), background);
    QCOMPARE(shot.pixelColor(150, 151), background);
}

void FrmAboutTest::photographIsUnscaledAndClipped() {
    const QImage photo = ui::ProductPhoto().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(photo.size(), QSize(100, 100));
    QWidget* picIcon = Get(about_, "picIcon");
    const QImage shown = picIcon->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(80, 104));
    QCOMPARE(shown.copy(0, 0, 80, 100), photo.copy(0, 0, 80, 100));
    const QColor background = about_->palette().color(QPalette::Window);
    QCOMPARE(shown.pixelColor(40, 101), background);  // below the photograph
}

void FrmAboutTest::chosenTextsFitTheirLabels_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("rights notice") << "Label1";
    QTest::newRow("web address") << "lblDisclaimer";
    QTest::newRow("e-mail address") << "Label2";
}

void FrmAboutTest::chosenTextsFitTheirLabels() {
    QFETCH(QString, name);
    auto* label = Get<QLabel>(about_, name);
    const QFontMetrics metrics(label->font());
    QVERIFY(!label->text().contains(QLatin1Char('\n')));
    QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
    QVERIFY(metrics.height() <= label->height());
}

void FrmAboutTest::helpOpensItWithFocusOnOk() {
    ui::frmAbout* about = OpenFromHelp();
    QVERIFY(about != nullptr);
    QVERIFY(about->isVisible());
    QCOMPARE(FocusName(), QStringLiteral("cmdOK"));
}

void FrmAboutTest::eachWayOfClosingDestroysIt_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("Enter") << "Enter";
    QTest::newRow("keypad Enter") << "keypad Enter";
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("click on OK") << "click";
    QTest::newRow("close box") << "close";
}

void FrmAboutTest::eachWayOfClosingDestroysIt() {
    QFETCH(QString, way);
    QPointer<ui::frmAbout> about = OpenFromHelp();
    QVERIFY(!about.isNull());
    const QList<QLineEdit*> fields = form_->findChildren<QLineEdit*>();
    QStringList before;
    for (QLineEdit* field : fields) {
        before << field->text();
    }

    if (way == QLatin1String("Enter")) {
        QTest::keyClick(about, Qt::Key_Return);
    } else if (way == QLatin1String("keypad Enter")) {
        QTest::keyClick(about, Qt::Key_Enter, Qt::KeypadModifier);
    } else if (way == QLatin1String("Esc")) {
        QTest::keyClick(about, Qt::Key_Escape);
    } else if (way == QLatin1String("click")) {
        QTest::mouseClick(Get<QPushButton>(about, "cmdOK"), Qt::LeftButton);
    } else {
        about->close();  // what the title bar's close box asks for
    }
    QTRY_VERIFY(about.isNull());
    QVERIFY(AboutWindows().isEmpty());
    QVERIFY(form_->isVisible());
    QStringList after;
    for (QLineEdit* field : fields) {
        after << field->text();
    }
    QCOMPARE(after, before);
}

void FrmAboutTest::reopensWithSameContent() {
    QPointer<ui::frmAbout> first = OpenFromHelp();
    QVERIFY(!first.isNull());
    QStringList content;
    for (QLabel* label : first->findChildren<QLabel*>()) {
        content << label->objectName() + "=" + label->text() + "@" + QString::number(label->x()) +
                       "," + QString::number(label->y());
    }
    QTest::keyClick(first, Qt::Key_Escape);
    QTRY_VERIFY(first.isNull());

    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::mouseClick(Get<QPushButton>(form_.get(), "Command2"), Qt::LeftButton);
    QCOMPARE(AboutWindows().size(), 1);
    ui::frmAbout* second = AboutWindows().first();
    QVERIFY(QTest::qWaitForWindowActive(second));
    QStringList reopened;
    for (QLabel* label : second->findChildren<QLabel*>()) {
        reopened << label->objectName() + "=" + label->text() + "@" + QString::number(label->x()) +
                        "," + QString::number(label->y());
    }
    QCOMPARE(reopened, content);
    QCOMPARE(FocusName(), QStringLiteral("cmdOK"));
}

QTEST_MAIN(FrmAboutTest)
#include "frm_about_test.moc"
