// Robustness of the windows against what a user can throw at them: a 10 MB paste, text no keyboard
// types (control characters, NUL, direction marks, emoji, lone surrogates), and opening and
// closing the About window many times. Runs on the offscreen platform and in the sanitizer build,
// where a leak or memory fault fails the test program.

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/address_map.h"
#include "tests/ui/window_queries.h"
#include "ui/form11.h"
#include "ui/frm_about.h"

namespace {

constexpr const char* kLetters[] = {"d", "m", "c", "t", "x", "y", "s"};

// What the conversion core gives for a field's text, handed over as UTF-8 (the window starts in
// the series "SS/ES/EX", so every rule gives a text).
QString CoreAddress(const QString& letter, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const std::optional<std::string> address = conversion::ModbusAddressFor(
        *conversion::DeviceKindOf(letter.at(0).toLatin1()),
        std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
        conversion::PlcSeries::SS);
    return address ? QString::fromStdString(*address) : QStringLiteral("(nothing)");
}

enum class Entry { Keys, Insert, Paste, InputMethod };

// Types `text` one key press per character, as a keyboard layout that produces it would: a
// surrogate pair travels in one event, a lone surrogate in its own. (QTest::keyClicks only knows
// the characters of a US keyboard.)
void TypeKeys(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        const QString character = text.mid(i, length);
        const char16_t unit = text[i].unicode();
        const auto key =
            unit >= u'0' && unit <= u'9' ? static_cast<Qt::Key>(unit) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, widget, key, character, Qt::NoModifier);
        i += length;
    }
}

}  // namespace

Q_DECLARE_METATYPE(Entry)

class RobustnessTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void shouldConvertTenMegabytePasteInOnePass_data();
    void shouldConvertTenMegabytePasteInOnePass();
    void shouldStayResponsiveAfterTenMegabytePaste();
    void shouldConvertUnusualCharactersWithoutTouchingOtherRows_data();
    void shouldConvertUnusualCharactersWithoutTouchingOtherRows();
    void shouldLeaveNoAboutWindowBehind();

  private:
    QLineEdit* Field(const QString& name) const { return Get<QLineEdit>(window_.get(), name); }

    QStringList AllTexts() const {
        QStringList texts;
        for (const char* letter : kLetters) {
            texts << Field(QStringLiteral("%1_delta").arg(letter))->text()
                  << Field(QStringLiteral("%1_modbus").arg(letter))->text();
        }
        return texts;
    }

    // Puts `text` into the clipboard and pastes it over the field's whole text, as Ctrl+A, Ctrl+V.
    static void Paste(QLineEdit* field, const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    }

    std::unique_ptr<ui::Form11> window_;
};

void RobustnessTest::init() {
    window_ = std::make_unique<ui::Form11>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void RobustnessTest::cleanup() {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void RobustnessTest::shouldConvertTenMegabytePasteInOnePass_data() {
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    constexpr qsizetype kTen = 10 * 1024 * 1024;
    QTest::newRow("X leading zeros then 17")
        << "x" << QString(kTen, u'0') + QStringLiteral("17") << "040F";
    QTest::newRow("C 12 then letters")
        << "c" << QStringLiteral("12") + QString(kTen, u'a') << "0E0C";
    QTest::newRow("M fraction of 10 MB")
        << "m" << QStringLiteral("1535.") + QString(kTen, u'3') << "AFFF";
    QTest::newRow("S too large for a double clears") << "s" << QString(kTen, u'9') << "";
    QTest::newRow("D blanks then 1") << "d" << QString(kTen, u' ') + QStringLiteral("1") << "1001";
    QTest::newRow("Y 17 then emoji")
        << "y" << QStringLiteral("17") + QStringLiteral("\U0001F600").repeated(kTen / 2) << "050F";
}

void RobustnessTest::shouldConvertTenMegabytePasteInOnePass() {
    QFETCH(QString, letter);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QLineEdit* delta = Field(letter + QStringLiteral("_delta"));
    QLineEdit* modbus = Field(letter + QStringLiteral("_modbus"));
    modbus->setText(QStringLiteral("stale"));
    // Each change of the PLC field runs the conversion once: one change, one conversion.
    QSignalSpy changes(delta, &QLineEdit::textChanged);

    Paste(delta, text);

    QCOMPARE(changes.count(), 1);
    QCOMPARE(delta->text().size(), text.size());  // no length limit cut the paste short
    QCOMPARE(modbus->text(), expected);
}

void RobustnessTest::shouldStayResponsiveAfterTenMegabytePaste() {
    QLineEdit* delta = Field(QStringLiteral("x_delta"));
    Paste(delta, QString(10 * 1024 * 1024, u'7'));

    bool fired = false;
    QTimer::singleShot(0, window_.get(), [&fired] { fired = true; });
    QVERIFY(QTest::qWaitFor([&fired] { return fired; }, 5000));

    // The window still converts: another row, then the pasted field itself once emptied.
    QTest::keyClicks(Field(QStringLiteral("c_delta")), QStringLiteral("12"));
    QCOMPARE(Field(QStringLiteral("c_modbus"))->text(), QStringLiteral("0E0C"));
    delta->selectAll();
    QTest::keyClicks(delta, QStringLiteral("17"));
    QCOMPARE(delta->text(), QStringLiteral("17"));
    QCOMPARE(Field(QStringLiteral("x_modbus"))->text(), QStringLiteral("040F"));
}

void RobustnessTest::shouldConvertUnusualCharactersWithoutTouchingOtherRows_data() {
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Entry>("entry");

    const struct {
        const char* name;
        QString text;
    } texts[] = {
        {"control characters", QStringLiteral("\x01\x02\x1b\x7f"
                                              "17")},
        {"NUL before digits", QString(QChar(0)) + QStringLiteral("15")},
        {"digits then NUL", QStringLiteral("15") + QString(QChar(0)) + QStringLiteral("9")},
        {"tab and newline", QStringLiteral("\t12\n3")},
        {"right-to-left mark first", QStringLiteral("\u200F17")},
        {"right-to-left mark after", QStringLiteral("17\u200F")},
        {"bidi override", QStringLiteral("\u202E255\u202C")},
        {"emoji", QStringLiteral("\U0001F600")},
        {"digits then emoji", QStringLiteral("255\U0001F600")},
        {"lone high surrogate", QStringLiteral("12") + QString(QChar(0xD800))},
        {"lone low surrogate first", QString(QChar(0xDC00)) + QStringLiteral("12")},
        {"swapped surrogate pair", QString(QChar(0xDE00)) + QChar(0xD83D) + QStringLiteral("7")},
        {"byte order mark", QStringLiteral("\uFEFF7")},
        {"fullwidth digits", QStringLiteral("\uFF11\uFF17")},
        {"non-breaking space", QStringLiteral("\u00A017")},
    };
    const struct {
        const char* name;
        Entry entry;
    } entries[] = {{"keys", Entry::Keys},
                   {"insert", Entry::Insert},
                   {"paste", Entry::Paste},
                   {"input method", Entry::InputMethod}};

    std::size_t row = 0;
    for (const auto& t : texts) {
        for (const auto& e : entries) {
            const char* letter = kLetters[row++ % std::size(kLetters)];
            QTest::addRow("%s, %s, %s", t.name, e.name, letter) << letter << t.text << e.entry;
        }
    }
}

void RobustnessTest::shouldConvertUnusualCharactersWithoutTouchingOtherRows() {
    QFETCH(QString, letter);
    QFETCH(QString, text);
    QFETCH(Entry, entry);
    QLineEdit* delta = Field(letter + QStringLiteral("_delta"));
    QLineEdit* modbus = Field(letter + QStringLiteral("_modbus"));

    // Every other row holds a distinct number, so that a write to the wrong row shows.
    int n = 1;
    for (const char* other : kLetters) {
        if (letter != QLatin1String(other)) {
            Field(QStringLiteral("%1_delta").arg(other))->setText(QString::number(n++));
        }
    }
    delta->clear();
    modbus->setText(QStringLiteral("before"));
    const QStringList before = AllTexts();

    delta->setFocus();
    switch (entry) {
        case Entry::Keys:
            TypeKeys(delta, text);
            break;
        case Entry::Insert:
            delta->insert(text);
            break;
        case Entry::Paste:
            Paste(delta, text);
            break;
        case Entry::InputMethod: {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QCoreApplication::sendEvent(delta, &commit);
            break;
        }
    }
    QCoreApplication::processEvents();

    const QString typed = delta->text();
    if (typed.isEmpty()) {
        QCOMPARE(modbus->text(), QStringLiteral("before"));  // nothing changed, nothing converted
    } else {
        QCOMPARE(modbus->text(), CoreAddress(letter, typed));
    }
    const QStringList after = AllTexts();
    for (qsizetype i = 0; i < before.size(); ++i) {
        const QString owner = QString::fromLatin1(kLetters[i / 2]);
        if (owner != letter && after[i] != before[i]) {
            QFAIL(qPrintable(QStringLiteral("row %1 changed from \"%2\" to \"%3\"")
                                 .arg(owner, before[i], after[i])));
        }
    }
}

void RobustnessTest::shouldLeaveNoAboutWindowBehind() {
    auto* help = Get<QPushButton>(window_.get(), QStringLiteral("Command2"));
    const qsizetype topLevelsBefore = QApplication::topLevelWidgets().size();
    QCOMPARE(AboutWindows().size(), 0);

    constexpr int kRounds = 200;
    int destroyed = 0;
    for (int round = 0; round < kRounds; ++round) {
        QTest::mouseClick(help, Qt::LeftButton);
        const QList<ui::frmAbout*> open = AboutWindows();
        QCOMPARE(open.size(), 1);
        ui::frmAbout* about = open.front();
        connect(about, &QObject::destroyed, this, [&destroyed] { ++destroyed; });
        QVERIFY(about->isVisible());

        // Every way of closing it, in turn: OK, Enter, Esc, the close box.
        switch (round % 4) {
            case 0:
                QTest::mouseClick(Get<QPushButton>(about, QStringLiteral("cmdOK")), Qt::LeftButton);
                break;
            case 1:
                QTest::keyClick(about, Qt::Key_Return);
                break;
            case 2:
                QTest::keyClick(about, Qt::Key_Escape);
                break;
            default:
                about->close();
                break;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCOMPARE(destroyed, round + 1);
    }
    QCOMPARE(AboutWindows().size(), 0);
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevelsBefore);
}

QTEST_MAIN(RobustnessTest)
#include "robustness_test.moc"
