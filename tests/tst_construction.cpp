// SPDX-License-Identifier: MIT
#include "dialog.h"
#include "logcollector.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGlyphRun>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextLayout>
#include <QtTest>

namespace {

// Laid out as the widget draws it, font fallback included: a glyph index of 0 is the
// font's .notdef, the empty box a user sees where no installed font has the character.
bool drawnWithMissingGlyphs(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const auto runs = layout.glyphRuns();
    for (const QGlyphRun &run : runs)
        if (run.glyphIndexes().contains(0u))
            return true;
    return false;
}

} // namespace

class TestConstruction : public QObject
{
    Q_OBJECT

private slots:
    void settingLists_data();
    void settingLists();
    void portList();
    void windowTextsHaveGlyphs();
    void initialState();
    void buttonGroups_data();
    void buttonGroups();
    void slotTable();
    void modeClicksLog_data();
    void modeClicksLog();
    void connectButtonReachesItsSlot();
    void keysLeaveTheWindowAndPortAlone_data();
    void keysLeaveTheWindowAndPortAlone();
    void sendButtonReachesItsSlot();
    void closingTheWindowEndsTheLoopWithZero();
};

void TestConstruction::settingLists_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("data");
    QTest::addColumn<int>("current");
    QTest::newRow("bandrateCtrl") << QStringList { "1200", "2400", "4800", "9600", "19200", "38400",
        "57600", "115200" } << QList<int>()
                                  << 3;
    QTest::newRow("parityCtrl") << QStringList { "None", "Odd", "Even", "Mark", "Space" }
                                << QList<int> { 0, 3, 2, 5, 4 } << 0;
    QTest::newRow("databitCtrl") << QStringList { "5", "6", "7", "8" } << QList<int> { 5, 6, 7, 8 }
                                 << 3;
    QTest::newRow("stopbitCtrl") << QStringList { "1", "1.5", "2" } << QList<int> { 1, 3, 2 } << 0;
}

void TestConstruction::settingLists()
{
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, data);
    QFETCH(int, current);
    Dialog dialog;
    auto *box = dialog.findChild<QComboBox *>(QTest::currentDataTag());
    QVERIFY(box);
    QCOMPARE(box->count(), texts.size());
    QCOMPARE(box->currentIndex(), current);
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(box->itemText(i), texts.at(i));
        const QVariant value = box->itemData(i, Qt::UserRole);
        if (data.isEmpty())
            QVERIFY(!value.isValid());
        else
            QCOMPARE(value.toInt(), data.at(i));
    }
}

void TestConstruction::portList()
{
    LogCollector log;
    Dialog dialog;
    const auto ports = QSerialPortInfo::availablePorts();
    auto *portCtrl = dialog.findChild<QComboBox *>("portCtrl");
    QCOMPARE(portCtrl->count(), ports.size());
    QStringList expectedLog;
    for (int i = 0; i < ports.size(); ++i) {
        const QSerialPortInfo &info = ports.at(i);
        QCOMPARE(portCtrl->itemText(i), info.portName() + "(" + info.description() + ")");
        QCOMPARE(portCtrl->itemData(i).toString(), info.portName());
        expectedLog << QString("Index       :  %1").arg(i)
                    << QString("Name        :  \"%1\"").arg(info.portName())
                    << QString("Description :  \"%1\"").arg(info.description())
                    << QString("Manufacturer:  \"%1\"").arg(info.manufacturer());
    }
    QCOMPARE(log.take(QtDebugMsg), expectedLog);
    if (ports.isEmpty())
        QCOMPARE(portCtrl->currentIndex(), -1);
}

void TestConstruction::windowTextsHaveGlyphs()
{
    Dialog dialog;
    QStringList missing;
    int checked = 0;
    const auto check = [&missing, &checked](const QWidget *widget, const QString &text) {
        ++checked;
        const QString shown = Qt::mightBeRichText(text)
            ? QTextDocumentFragment::fromHtml(text).toPlainText()
            : text;
        if (drawnWithMissingGlyphs(shown, widget->font()))
            missing << QString("%1 \"%2\" in %3")
                           .arg(widget->objectName(), shown, QFontInfo(widget->font()).family());
    };
    check(&dialog, dialog.windowTitle());
    const auto widgets = dialog.findChildren<QWidget *>();
    for (const QWidget *widget : widgets) {
        if (auto *label = qobject_cast<const QLabel *>(widget))
            check(label, label->text());
        else if (auto *button = qobject_cast<const QAbstractButton *>(widget))
            check(button, button->text());
        else if (auto *group = qobject_cast<const QGroupBox *>(widget))
            check(group, group->title());
        else if (auto *box = qobject_cast<const QComboBox *>(widget))
            for (int i = 0; i < box->count(); ++i)
                check(box, box->itemText(i));
    }
    // The form's 18 texts and every entry of the five lists, none left out of the walk.
    int entries = 0;
    for (const QComboBox *box : dialog.findChildren<QComboBox *>())
        entries += box->count();
    QCOMPARE(checked, 18 + entries);
    QVERIFY2(missing.isEmpty(),
        qPrintable("No installed font has the glyphs of " + missing.join(", ")
            + ": the window shows empty boxes. Install a font with Simplified Chinese glyphs, "
              "on Debian or Ubuntu the package fonts-wqy-microhei."));
}

void TestConstruction::initialState()
{
    Dialog dialog;
    QVERIFY(dialog.findChild<QTextEdit *>("receiverTextCtl")->isReadOnly());
    QVERIFY(!dialog.findChild<QTextEdit *>("sendTextCtrl")->isReadOnly());
    QVERIFY(!dialog.findChild<QPushButton *>("sendButton")->isEnabled());
    QVERIFY(dialog.findChild<QPushButton *>("portConnectionButton")->isEnabled());
    for (const char *name :
        { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl", "stopbitCtrl" })
        QVERIFY(dialog.findChild<QComboBox *>(name)->isEnabled());
    auto *port = dialog.findChild<QSerialPort *>();
    QVERIFY(port);
    QCOMPARE(port->parent(), &dialog);
    QVERIFY(!port->isOpen());
    QCOMPARE(dialog.findChild<QLCDNumber *>("receiveCountLCD")->intValue(), 0);
    QCOMPARE(dialog.findChild<QLCDNumber *>("sentLCD")->intValue(), 0);
    QVERIFY(dialog.isHidden());
}

void TestConstruction::buttonGroups_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("hex");
    QTest::newRow("display") << "displayByPlainRadio"
                             << "displayByHexRadio";
    QTest::newRow("input") << "inputByPlainRadio"
                           << "inputByHexStringRadio";
}

void TestConstruction::buttonGroups()
{
    QFETCH(QString, plain);
    QFETCH(QString, hex);
    Dialog dialog;
    auto *plainRadio = dialog.findChild<QRadioButton *>(plain);
    QButtonGroup *group = plainRadio->group();
    QVERIFY(group);
    QCOMPARE(group->parent(), &dialog);
    QVERIFY(group->exclusive());
    QCOMPARE(group->buttons().size(), 2);
    QCOMPARE(group->id(plainRadio), 1);
    QCOMPARE(group->id(dialog.findChild<QRadioButton *>(hex)), 2);
    QCOMPARE(group->checkedId(), 1);
}

void TestConstruction::slotTable()
{
    const QMetaObject &meta = Dialog::staticMetaObject;
    QCOMPARE(meta.className(), "Dialog");
    const QStringList expected { "handlerPortConnection()", "onDataAvailable()", "sendData()",
        "onClickDisplayMode(int)", "onClickInputMode(int)" };
    QStringList own;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        QCOMPARE(meta.method(i).access(), QMetaMethod::Private);
        own << meta.method(i).methodSignature();
    }
    QCOMPARE(own, expected);
}

void TestConstruction::modeClicksLog_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("line");
    QTest::newRow("display hex") << "displayByHexRadio"
                                 << "Display Mothed:  2";
    QTest::newRow("display plain") << "displayByPlainRadio"
                                   << "Display Mothed:  1";
    QTest::newRow("input hex") << "inputByHexStringRadio"
                               << "Input Mothed:  2";
    QTest::newRow("input plain") << "inputByPlainRadio"
                                 << "Input Mothed:  1";
}

void TestConstruction::modeClicksLog()
{
    QFETCH(QString, radio);
    QFETCH(QString, line);
    Dialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    LogCollector log;
    auto *button = dialog.findChild<QRadioButton *>(radio);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, button->height() / 2));
    QVERIFY(button->isChecked());
    QCOMPARE(log.take(QtDebugMsg), QStringList { line });
}

void TestConstruction::connectButtonReachesItsSlot()
{
    Dialog dialog;
    dialog.findChild<QComboBox *>("portCtrl")->clear(); // as on a machine without ports
    LogCollector log;
    // No port is selected, so the open fails under an empty name.
    QTest::mouseClick(dialog.findChild<QPushButton *>("portConnectionButton"), Qt::LeftButton);
    QCOMPARE(log.take(QtDebugMsg),
        (QStringList { "Open / Close Serial Port", "Can not Open Serial Port \"\"" }));
    QVERIFY(!dialog.findChild<QPushButton *>("sendButton")->isEnabled());
}

void TestConstruction::keysLeaveTheWindowAndPortAlone_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("logged");
    const QStringList nothing;
    const QStringList toggled { "Open / Close Serial Port", "Can not Open Serial Port \"\"" };
    QTest::newRow("Esc in the send box") << "sendTextCtrl" << int(Qt::Key_Escape) << nothing;
    QTest::newRow("Esc in the receive box") << "receiverTextCtl" << int(Qt::Key_Escape) << nothing;
    QTest::newRow("Esc in a combo box") << "bandrateCtrl" << int(Qt::Key_Escape) << nothing;
    QTest::newRow("Return in a combo box") << "bandrateCtrl" << int(Qt::Key_Return) << nothing;
    QTest::newRow("Enter in a combo box") << "parityCtrl" << int(Qt::Key_Enter) << nothing;
    QTest::newRow("Return on the check box") << "crlfModeCtrl" << int(Qt::Key_Return) << nothing;
    QTest::newRow("Return on a radio button")
        << "displayByHexRadio" << int(Qt::Key_Return) << nothing;
    QTest::newRow("Return in the receive box")
        << "receiverTextCtl" << int(Qt::Key_Return) << nothing;
    QTest::newRow("Space on the connect button")
        << "portConnectionButton" << int(Qt::Key_Space) << toggled;
    QTest::newRow("Return on the focused connect button")
        << "portConnectionButton" << int(Qt::Key_Return) << toggled;
}

void TestConstruction::keysLeaveTheWindowAndPortAlone()
{
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(QStringList, logged);
    Dialog dialog;
    dialog.findChild<QComboBox *>("portCtrl")->clear(); // as on a machine without ports
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *widget = dialog.findChild<QWidget *>(target);
    widget->setFocus();
    LogCollector log;
    QTest::keyClick(widget, Qt::Key(key));
    QCOMPARE(log.take(QtDebugMsg), logged);
    QVERIFY(dialog.isVisible());
}

void TestConstruction::sendButtonReachesItsSlot()
{
    Dialog dialog;
    auto *send = dialog.findChild<QPushButton *>("sendButton");
    send->setEnabled(true); // as if a port were open: the write then fails
    dialog.findChild<QTextEdit *>("sendTextCtrl")->setPlainText("AT");
    LogCollector log;
    QTest::mouseClick(send, Qt::LeftButton);
    QCOMPARE(log.take(QtDebugMsg), QStringList { "Write Data to Serial Port.[ \"AT\" ]" });
    QCOMPARE(dialog.findChild<QLCDNumber *>("sentLCD")->intValue(), 0);
}

void TestConstruction::closingTheWindowEndsTheLoopWithZero()
{
    Dialog dialog;
    dialog.show();
    QTimer::singleShot(0, &dialog, &QWidget::close);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(dialog.isHidden());
}

QTEST_MAIN(TestConstruction)
#include "tst_construction.moc"
