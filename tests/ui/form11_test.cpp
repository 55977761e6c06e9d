// The main converter window as Qt shows it: the widgets it opens with, their names for screen
// readers, each row's fields and the buttons and options wired to the window's behaviour (whose
// rules tests/window checks without a toolkit), access keys, the tab order, the arrow keys among
// the series options, the About window beside it, and how the program ends.

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "ui/form11.h"
#include "ui/frm_about.h"
#include "window_queries.h"

namespace {

const QStringList kRowLetters = {"d", "m", "c", "t", "x", "y", "s"};

}  // namespace

class Form11Test : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void shouldHaveDefaultValue_data();
    void shouldHaveDefaultValue();
    void shouldOpenAsTheWindowOfTheProgram();
    void shouldNameEveryControlForScreenReaders_data();
    void shouldNameEveryControlForScreenReaders();
    void resizingMovesNothing();

    void clearingFieldShowsDeviceZero_data();
    void clearingFieldShowsDeviceZero();

    void headingAccessKeyOnlyMovesFocus_data();
    void headingAccessKeyOnlyMovesFocus();
    void buttonAccessKeys();

    void tabCycle_data();
    void tabCycle();
    void tabStopStaysOnOptionThatIsOn();
    void arrowKeysMoveAmongOptions_data();
    void arrowKeysMoveAmongOptions();

    void helpTwiceOpensOneAboutWindow();
    void typingWhileAboutIsOpenConverts();
    void exitEndsProgramAndDestroysAbout_data();
    void exitEndsProgramAndDestroysAbout();
    void closingMainWindowWaitsForAboutWindow();

    void convertOctalToDecimal_data();
    void convertOctalToDecimal();

  private:
    QLineEdit* Field(const QString& name) const { return Get<QLineEdit>(form_.get(), name); }
    void ShowActive();
    void TypeInto(const QString& field, const QString& text);
    void ClickOption(const QString& option);

    std::unique_ptr<ui::Form11> form_;
};

void Form11Test::init() {
    form_ = std::make_unique<ui::Form11>();
}

void Form11Test::cleanup() {
    form_.reset();
    qDeleteAll(AboutWindows());
}

void Form11Test::ShowActive() {
    form_->show();
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

// Replaces the field's text the way a user does: click into it, select all, type.
void Form11Test::TypeInto(const QString& field, const QString& text) {
    QLineEdit* edit = Field(field);
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Delete);
    } else {
        QTest::keyClicks(edit, text);
    }
    QCOMPARE(edit->text(), text);
}

void Form11Test::ClickOption(const QString& option) {
    QTest::mouseClick(Get<QRadioButton>(form_.get(), option), Qt::LeftButton);
    QVERIFY(Get<QRadioButton>(form_.get(), option)->isChecked());
}

void Form11Test::shouldHaveDefaultValue_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");  // in pixels, 15 twips each

    QTest::newRow("Frame1") << "Frame1"
                            << "QGroupBox"
                            << "PLC type" << QRect(16, 32, 281, 49);
    QTest::newRow("Option1") << "Option1"
                             << "QRadioButton"
                             << "SS/ES/EX" << QRect(24, 48, 89, 25);
    QTest::newRow("Option2") << "Option2"
                             << "QRadioButton"
                             << "SA/SX/SC" << QRect(112, 48, 89, 25);
    QTest::newRow("Option3") << "Option3"
                             << "QRadioButton"
                             << "EH/EH2/SV" << QRect(200, 48, 89, 25);
    QTest::newRow("Label2") << "Label2"
                            << "QLabel"
                            << "&PLC address" << QRect(64, 120, 89, 17);
    QTest::newRow("Label1") << "Label1"
                            << "QLabel"
                            << "&Modbus address" << QRect(192, 120, 89, 17);
    QTest::newRow("Command6") << "Command6"
                              << "QPushButton"
                              << "&Reset" << QRect(32, 344, 81, 25);
    QTest::newRow("Command2") << "Command2"
                              << "QPushButton"
                              << "&Help" << QRect(120, 344, 81, 25);
    QTest::newRow("Command1") << "Command1"
                              << "QPushButton"
                              << "&Exit" << QRect(208, 344, 81, 25);

    struct RowControls {
        const char* letter;
        const char* rowLabel;
        const char* arrowLabel;
        int top;
        const char* modbus;  // the address of device 0, filled in at start-up
    };
    const RowControls rows[] = {
        {"D", "Label9", "Label3", 144, "1000"},   {"M", "Label10", "Label4", 168, "0800"},
        {"C", "Label11", "Label5", 192, "0E00"},  {"T", "Label12", "Label6", 216, "0600"},
        {"X", "Label13", "Label7", 240, "0400"},  {"Y", "Label14", "Label8", 264, "0500"},
        {"S", "Label16", "Label15", 288, "0000"},
    };
    for (const RowControls& row : rows) {
        const QString letter = QString::fromLatin1(row.letter);
        const QString delta = letter.toLower() + "_delta";
        const QString modbus = letter.toLower() + "_modbus";
        QTest::newRow(row.rowLabel)
            << row.rowLabel << "QLabel" << letter + ":" << QRect(24, row.top, 41, 17);
        QTest::newRow(qPrintable(delta)) << delta << "QLineEdit"
                                         << "0" << QRect(64, row.top, 81, 19);
        QTest::newRow(row.arrowLabel) << row.arrowLabel << "QLabel"
                                      << ">>>" << QRect(160, row.top, 25, 17);
        QTest::newRow(qPrintable(modbus))
            << modbus << "QLineEdit" << row.modbus << QRect(192, row.top, 81, 19);
    }
}

void Form11Test::shouldHaveDefaultValue() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);

    QWidget* control = Get(form_.get(), name);
    QVERIFY2(control->inherits(qPrintable(className)), control->metaObject()->className());
    QCOMPARE(control->parentWidget(), form_.get());
    QCOMPARE(control->geometry(), geometry);
    QString shown;
    if (auto* field = qobject_cast<QLineEdit*>(control)) {
        shown = field->text();
        QVERIFY(!field->isReadOnly());
        QCOMPARE(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        shown = label->text();
        QCOMPARE(label->frameShape(), QFrame::NoFrame);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        shown = button->text();
    } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        shown = frame->title();
    }
    QCOMPARE(shown, text);
}

void Form11Test::shouldOpenAsTheWindowOfTheProgram() {
    QCOMPARE(form_->windowTitle(), QStringLiteral("ZENTRIQ V1.00"));
    QCOMPARE(form_->geometry(), QRect(468, 195, 320, 387));  // the client area
    const Qt::WindowFlags flags = form_->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(form_->minimumSize(), QSize(0, 0));  // a resizable border
    QVERIFY(form_->layout() == nullptr);

    QSet<int> iconSizes;
    for (const QSize& size : form_->windowIcon().availableSizes()) {
        QCOMPARE(size.width(), size.height());
        iconSizes.insert(size.width());
    }
    QCOMPARE(iconSizes, (QSet<int>{16, 32, 48}));

    QVERIFY(Get<QRadioButton>(form_.get(), "Option1")->isChecked());
    QVERIFY(!Get<QRadioButton>(form_.get(), "Option2")->isChecked());
    QVERIFY(!Get<QRadioButton>(form_.get(), "Option3")->isChecked());
    ShowActive();
    QCOMPARE(FocusName(), QStringLiteral("d_modbus"));
}

void Form11Test::shouldNameEveryControlForScreenReaders_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessibleName");
    for (const QString& letter : kRowLetters) {
        QTest::newRow(qPrintable(letter + "_delta"))
            << letter + "_delta" << letter.toUpper() + " PLC address";
        QTest::newRow(qPrintable(letter + "_modbus"))
            << letter + "_modbus" << letter.toUpper() + " Modbus address";
    }
    QTest::newRow("Command6") << "Command6"
                              << "Reset";
    QTest::newRow("Command1") << "Command1"
                              << "Exit";
    QTest::newRow("Command2") << "Command2"
                              << "Help";
    QTest::newRow("Option1") << "Option1"
                             << "SS/ES/EX";
    QTest::newRow("Option2") << "Option2"
                             << "SA/SX/SC";
    QTest::newRow("Option3") << "Option3"
                             << "EH/EH2/SV";
    QTest::newRow("Label2") << "Label2"
                            << "PLC address";
}

void Form11Test::shouldNameEveryControlForScreenReaders() {
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    QAccessibleInterface* accessible =
        QAccessible::queryAccessibleInterface(Get(form_.get(), name));
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->text(QAccessible::Name), accessibleName);
}

void Form11Test::resizingMovesNothing() {
    ShowActive();
    QList<QRect> before;
    const QList<QWidget*> controls = form_->findChildren<QWidget*>();
    for (QWidget* control : controls) {
        before << control->geometry();
    }
    for (const QSize& size : {QSize(700, 650), QSize(120, 90)}) {
        form_->resize(size);
        QTRY_COMPARE(form_->size(), size);
        for (qsizetype i = 0; i < controls.size(); ++i) {
            QCOMPARE(controls[i]->geometry(), before[i]);
        }
    }
}

void Form11Test::clearingFieldShowsDeviceZero_data() {
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("deviceZero");
    const char* addresses[] = {"1000", "0800", "0E00", "0600", "0400", "0500", "0000"};
    for (qsizetype i = 0; i < kRowLetters.size(); ++i) {
        QTest::newRow(qPrintable(kRowLetters[i])) << kRowLetters[i] << addresses[i];
    }
}

void Form11Test::clearingFieldShowsDeviceZero() {
    QFETCH(QString, row);
    QFETCH(QString, deviceZero);
    ShowActive();
    TypeInto(row + "_delta", "12");
    QVERIFY(Field(row + "_modbus")->text() != deviceZero);
    QLineEdit* delta = Field(row + "_delta");
    QTest::keyClick(delta, Qt::Key_Backspace);
    QTest::keyClick(delta, Qt::Key_Backspace);
    QCOMPARE(delta->text(), QString());
    QCOMPARE(Field(row + "_modbus")->text(), deviceZero);
}

void Form11Test::headingAccessKeyOnlyMovesFocus_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Alt+P, PLC address") << int(Qt::Key_P);
    QTest::newRow("Alt+M, Modbus address") << int(Qt::Key_M);
}

void Form11Test::headingAccessKeyOnlyMovesFocus() {
    QFETCH(int, key);
    ShowActive();
    TypeInto("x_delta", "17");
    TypeInto("y_modbus", "mine");
    QTest::keyClick(form_.get(), Qt::Key(key), Qt::AltModifier);
    QCOMPARE(FocusName(), QStringLiteral("Command6"));
    QTest::qWait(300);  // longer than a button's animated click
    QCOMPARE(Field("x_delta")->text(), QStringLiteral("17"));
    QCOMPARE(Field("x_modbus")->text(), QStringLiteral("040F"));
    QCOMPARE(Field("y_modbus")->text(), QStringLiteral("mine"));
}

void Form11Test::buttonAccessKeys() {
    ShowActive();
    TypeInto("x_delta", "17");
    QTest::keyClick(form_.get(), Qt::Key_R, Qt::AltModifier);
    QTRY_COMPARE(Field("x_delta")->text(), QStringLiteral("0"));
    QCOMPARE(Field("x_modbus")->text(), QStringLiteral("0400"));

    QVERIFY(AboutWindows().isEmpty());
    QTest::keyClick(form_.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_COMPARE(AboutWindows().size(), 1);
}

void Form11Test::tabCycle_data() {
    QTest::addColumn<QString>("option");
    for (const char* option : {"Option1", "Option2", "Option3"}) {
        QTest::newRow(option) << option;
    }
}

void Form11Test::tabCycle() {
    QFETCH(QString, option);
    ShowActive();
    ClickOption(option);
    QTest::mouseClick(Field("d_modbus"), Qt::LeftButton);
    QCOMPARE(FocusName(), QStringLiteral("d_modbus"));

    const QStringList cycle = {"Command6", option,     "m_delta",  "m_modbus", "c_delta",
                               "c_modbus", "t_delta",  "t_modbus", "x_delta",  "x_modbus",
                               "y_modbus", "s_modbus", "d_delta",  "y_delta",  "s_delta",
                               "Command1", "Command2", "d_modbus"};
    QStringList forward;
    for (qsizetype i = 0; i < cycle.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward << FocusName();
    }
    QCOMPARE(forward, cycle);

    QStringList expectedBackward;
    for (auto name = cycle.crbegin() + 1; name != cycle.crend(); ++name) {
        expectedBackward << *name;
    }
    expectedBackward << "d_modbus";
    QStringList backward;
    for (qsizetype i = 0; i < cycle.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward << FocusName();
    }
    QCOMPARE(backward, expectedBackward);
    QVERIFY(
        Get<QRadioButton>(form_.get(), option)->isChecked());  // passing through turned nothing on
}

void Form11Test::tabStopStaysOnOptionThatIsOn() {
    ShowActive();
    // A press on "SA/SX/SC" released away from it gives that option the focus but leaves it off.
    auto* option2 = Get<QRadioButton>(form_.get(), "Option2");
    QTest::mousePress(option2, Qt::LeftButton);
    QTest::mouseRelease(option2, Qt::LeftButton, {}, QPoint(-40, -40));
    QCOMPARE(FocusName(), QStringLiteral("Option2"));
    QVERIFY(Get<QRadioButton>(form_.get(), "Option1")->isChecked());

    QTest::keyClick(option2, Qt::Key_Tab);
    QCOMPARE(FocusName(), QStringLiteral("m_delta"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(FocusName(), QStringLiteral("Option1"));
}

void Form11Test::arrowKeysMoveAmongOptions_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("dConverts");  // the series of the option reached took effect

    QTest::newRow("Right from SS") << "Option1" << int(Qt::Key_Right) << "Option2" << false;
    QTest::newRow("Down from SA") << "Option2" << int(Qt::Key_Down) << "Option3" << false;
    QTest::newRow("Right from EH wraps") << "Option3" << int(Qt::Key_Right) << "Option1" << true;
    QTest::newRow("Left from SS wraps") << "Option1" << int(Qt::Key_Left) << "Option3" << false;
    QTest::newRow("Up from SA") << "Option2" << int(Qt::Key_Up) << "Option1" << true;
    QTest::newRow("Left from EH") << "Option3" << int(Qt::Key_Left) << "Option2" << false;
}

void Form11Test::arrowKeysMoveAmongOptions() {
    QFETCH(QString, from);
    QFETCH(int, key);
    QFETCH(QString, to);
    QFETCH(bool, dConverts);
    ShowActive();
    ClickOption(from);
    QCOMPARE(FocusName(), from);

    QTest::keyClick(Get(form_.get(), from), Qt::Key(key));
    QCOMPARE(FocusName(), to);
    for (const char* option : {"Option1", "Option2", "Option3"}) {
        QCOMPARE(Get<QRadioButton>(form_.get(), option)->isChecked(), to == QLatin1String(option));
    }
    TypeInto("d_delta", "2");
    QCOMPARE(Field("d_modbus")->text(),
             dConverts ? QStringLiteral("1002") : QStringLiteral("1000"));
}

void Form11Test::helpTwiceOpensOneAboutWindow() {
    ShowActive();
    auto* help = Get<QPushButton>(form_.get(), "Command2");
    QTest::mouseClick(help, Qt::LeftButton);
    QCOMPARE(AboutWindows().size(), 1);
    QPointer<ui::frmAbout> first = AboutWindows().first();
    QVERIFY(first->isVisible());
    QCOMPARE(first->parentWidget(), nullptr);  // no owner window

    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::mouseClick(help, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(AboutWindows().size(), 1);
    QCOMPARE(AboutWindows().first(), first.data());
    QVERIFY(first->isVisible());
}

void Form11Test::typingWhileAboutIsOpenConverts() {
    ShowActive();
    QTest::mouseClick(Get<QPushButton>(form_.get(), "Command2"), Qt::LeftButton);
    QCOMPARE(AboutWindows().size(), 1);
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    TypeInto("y_delta", "377");
    QCOMPARE(Field("y_modbus")->text(), QStringLiteral("05FF"));
    QVERIFY(AboutWindows().first()->isVisible());
}

void Form11Test::exitEndsProgramAndDestroysAbout_data() {
    QTest::addColumn<bool>("byAccessKey");
    QTest::newRow("click on Exit") << false;
    QTest::newRow("Alt+E") << true;
}

void Form11Test::exitEndsProgramAndDestroysAbout() {
    QFETCH(bool, byAccessKey);
    ShowActive();
    QTest::mouseClick(Get<QPushButton>(form_.get(), "Command2"), Qt::LeftButton);
    QPointer<ui::frmAbout> about = AboutWindows().value(0);
    QVERIFY(!about.isNull());
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));

    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, this, [this, byAccessKey] {
        if (byAccessKey) {
            QTest::keyClick(form_.get(), Qt::Key_E, Qt::AltModifier);
        } else {
            QTest::mouseClick(Get<QPushButton>(form_.get(), "Command1"), Qt::LeftButton);
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    const int exitCode = QApplication::exec();
    guard.stop();

    QCOMPARE(exitCode, 0);
    QCOMPARE(aboutToQuit.count(), 1);
    QVERIFY(about.isNull());  // destroyed, not merely hidden
}

void Form11Test::closingMainWindowWaitsForAboutWindow() {
    ShowActive();
    QTest::mouseClick(Get<QPushButton>(form_.get(), "Command2"), Qt::LeftButton);
    QPointer<ui::frmAbout> about = AboutWindows().value(0);
    QVERIFY(!about.isNull());

    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    bool runningWithAboutOpen = false;
    QTimer::singleShot(0, this, [this] { form_->close(); });
    QTimer::singleShot(200, this, [&] {
        runningWithAboutOpen = !form_->isVisible() && !about.isNull() && about->isVisible() &&
                               lastWindowClosed.isEmpty();
        about->close();
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    const int exitCode = QApplication::exec();
    guard.stop();

    QVERIFY(runningWithAboutOpen);
    QCOMPARE(exitCode, 0);  // the program ended when the About window closed
    QCOMPARE(lastWindowClosed.count(), 1);
    QVERIFY(about.isNull());
}

void Form11Test::convertOctalToDecimal_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<bool>("hasValue");
    QTest::addColumn<QString>("value");
    QTest::newRow("17") << "17" << true << "15";
    QTest::newRow("377") << "377" << true << "255";
    QTest::newRow("19, digits at face value") << "19" << true << "17";
    QTest::newRow("empty") << "" << true << "0";
    QTest::newRow("fraction") << "1.5" << false << "";
}

void Form11Test::convertOctalToDecimal() {
    QFETCH(QString, digits);
    QFETCH(bool, hasValue);
    QFETCH(QString, value);
    const std::optional<QString> result = ui::Form11::ConvertOctalToDecimal(digits);
    QCOMPARE(result.has_value(), hasValue);
    if (hasValue) {
        QCOMPARE(*result, value);
    }
}

QTEST_MAIN(Form11Test)
#include "form11_test.moc"
