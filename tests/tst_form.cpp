// SPDX-License-Identifier: MIT
#include "ui_dialog.h"

#include <QImageReader>
#include <QtTest>

// The window as built from the form alone, before the dialog adds anything to it.
Q_DECLARE_METATYPE(QMargins)

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tree_data();
    void tree();
    void creationOrder();
    void layoutSpacingAndMargins_data();
    void layoutSpacingAndMargins();
    void sizePolicies_data();
    void sizePolicies();
    void widgetProperties();
    void spacers();
    void texts_data();
    void texts();
    void windowProperties();
    void keepsExistingObjectName();
    void icon();

private:
    QDialog *dialog = nullptr;
    Ui_Dialog *ui = nullptr;

    QObject *item(const QString &name) const
    {
        return name == "Dialog" ? dialog : dialog->findChild<QObject *>(name);
    }
};

void TestForm::init()
{
    dialog = new QDialog;
    ui = new Ui_Dialog;
    ui->setupUi(dialog);
}

void TestForm::cleanup()
{
    delete ui;
    delete dialog;
}

void TestForm::tree_data()
{
    // parent: the parent widget, or for a layout the widget it manages.
    // layout and place: the layout holding the item, and "index" or "row,column,rows,columns".
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("place");
    const auto row
        = [](const char *name, const char *cls, const char *parent, const char *layout,
              const char *place) { QTest::newRow(name) << cls << parent << layout << place; };
    row("verticalLayout_5", "QVBoxLayout", "Dialog", "", "");
    row("frame1", "QFrame", "Dialog", "verticalLayout_5", "0");
    row("horizontalLayout_2", "QHBoxLayout", "frame1", "", "");
    row("groupBox_4", "QGroupBox", "frame1", "horizontalLayout_2", "0");
    row("horizontalLayout_3", "QHBoxLayout", "groupBox_4", "", "");
    row("label", "QLabel", "groupBox_4", "horizontalLayout_3", "0");
    row("portCtrl", "QComboBox", "groupBox_4", "horizontalLayout_3", "1");
    row("label_2", "QLabel", "groupBox_4", "horizontalLayout_3", "2");
    row("bandrateCtrl", "QComboBox", "groupBox_4", "horizontalLayout_3", "3");
    row("label_3", "QLabel", "groupBox_4", "horizontalLayout_3", "4");
    row("parityCtrl", "QComboBox", "groupBox_4", "horizontalLayout_3", "5");
    row("label_4", "QLabel", "groupBox_4", "horizontalLayout_3", "6");
    row("databitCtrl", "QComboBox", "groupBox_4", "horizontalLayout_3", "7");
    row("label_5", "QLabel", "groupBox_4", "horizontalLayout_3", "8");
    row("stopbitCtrl", "QComboBox", "groupBox_4", "horizontalLayout_3", "9");
    row("line", "QFrame", "groupBox_4", "horizontalLayout_3", "10");
    row("portConnectionButton", "QPushButton", "groupBox_4", "horizontalLayout_3", "11");
    row("frame", "QFrame", "Dialog", "verticalLayout_5", "1");
    row("verticalLayout_2", "QVBoxLayout", "frame", "", "");
    row("groupBox_2", "QGroupBox", "frame", "verticalLayout_2", "0");
    row("gridLayout_2", "QGridLayout", "groupBox_2", "", "");
    row("crlfModeCtrl", "QCheckBox", "groupBox_2", "gridLayout_2", "6,0,1,1");
    row("receiverTextCtl", "QTextEdit", "groupBox_2", "gridLayout_2", "5,0,1,1");
    row("widget", "QWidget", "groupBox_2", "gridLayout_2", "0,0,1,1");
    row("horizontalLayout_4", "QHBoxLayout", "widget", "", "");
    row("label_7", "QLabel", "widget", "horizontalLayout_4", "0");
    row("displayByPlainRadio", "QRadioButton", "widget", "horizontalLayout_4", "1");
    row("displayByHexRadio", "QRadioButton", "widget", "horizontalLayout_4", "2");
    row("receiveCountLCD", "QLCDNumber", "widget", "horizontalLayout_4", "4");
    row("groupBox_3", "QGroupBox", "frame", "verticalLayout_2", "1");
    row("verticalLayout_4", "QVBoxLayout", "groupBox_3", "", "");
    row("horizontalWidget", "QWidget", "groupBox_3", "verticalLayout_4", "0");
    row("horizontalLayout", "QHBoxLayout", "horizontalWidget", "", "");
    row("label_6", "QLabel", "horizontalWidget", "horizontalLayout", "0");
    row("inputByPlainRadio", "QRadioButton", "horizontalWidget", "horizontalLayout", "1");
    row("inputByHexStringRadio", "QRadioButton", "horizontalWidget", "horizontalLayout", "2");
    row("sentLCD", "QLCDNumber", "horizontalWidget", "horizontalLayout", "4");
    row("sendTextCtrl", "QTextEdit", "groupBox_3", "verticalLayout_4", "1");
    row("sendButton", "QPushButton", "groupBox_3", "verticalLayout_4", "2");
}

void TestForm::tree()
{
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QString, layout);
    QFETCH(QString, place);
    const QString name = QTest::currentDataTag();
    QObject *object = item(name);
    QVERIFY2(object, qPrintable(name));
    QCOMPARE(QString(object->metaObject()->className()), className);

    if (auto *managing = qobject_cast<QLayout *>(object)) {
        QCOMPARE(managing->parentWidget(), item(parent));
        QCOMPARE(static_cast<QWidget *>(item(parent))->layout(), managing);
        return;
    }
    auto *widget = qobject_cast<QWidget *>(object);
    QCOMPARE(widget->parentWidget(), item(parent));
    auto *holder = dialog->findChild<QLayout *>(layout);
    QVERIFY(holder);
    const int index = holder->indexOf(widget);
    QVERIFY(index >= 0);
    QCOMPARE(holder->itemAt(index)->alignment(), Qt::Alignment());
    if (auto *grid = qobject_cast<QGridLayout *>(holder)) {
        int r, c, rs, cs;
        grid->getItemPosition(index, &r, &c, &rs, &cs);
        QCOMPARE(QStringLiteral("%1,%2,%3,%4").arg(r).arg(c).arg(rs).arg(cs), place);
    } else {
        QCOMPARE(QString::number(index), place);
        QCOMPARE(qobject_cast<QBoxLayout *>(holder)->stretch(index), 0);
    }
}

void TestForm::creationOrder()
{
    // The focus chain follows the order of creation.
    const QStringList expected { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl",
        "stopbitCtrl", "portConnectionButton", "crlfModeCtrl", "receiverTextCtl",
        "displayByPlainRadio", "displayByHexRadio", "inputByPlainRadio", "inputByHexStringRadio",
        "sendTextCtrl", "sendButton" };
    QStringList chain;
    for (QWidget *w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain())
        if (expected.contains(w->objectName()))
            chain << w->objectName();
    QCOMPARE(chain, expected);
}

void TestForm::layoutSpacingAndMargins_data()
{
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QMargins>("margins");
    const int s = -1; // the style's own margin, resolved below
    QTest::newRow("verticalLayout_5") << 0 << QMargins(0, 0, 0, 0);
    QTest::newRow("horizontalLayout_2") << 6 << QMargins(6, 6, 6, 6);
    QTest::newRow("horizontalLayout_3") << 6 << QMargins(6, 6, 6, 6);
    QTest::newRow("verticalLayout_2") << 6 << QMargins(6, 6, 6, 6);
    QTest::newRow("gridLayout_2") << 6 << QMargins(6, 6, 6, 6);
    QTest::newRow("horizontalLayout_4") << 6 << QMargins(s, 1, s, s);
    QTest::newRow("verticalLayout_4") << 6 << QMargins(6, 6, 6, 6);
    QTest::newRow("horizontalLayout") << 0 << QMargins(0, 0, 0, 0);
}

void TestForm::layoutSpacingAndMargins()
{
    QFETCH(int, spacing);
    QFETCH(QMargins, margins);
    auto *layout = dialog->findChild<QLayout *>(QTest::currentDataTag());
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), spacing);
    if (margins.left() < 0) {
        // -1 leaves a side to the style: the same as a fresh layout on a child widget gets.
        QWidget parent;
        QWidget child(&parent);
        const QMargins styled = QHBoxLayout(&child).contentsMargins();
        margins = QMargins(styled.left(), margins.top(), styled.right(), styled.bottom());
    }
    QCOMPARE(layout->contentsMargins(), margins);
    if (auto *box = qobject_cast<QVBoxLayout *>(layout))
        QCOMPARE(box->sizeConstraint(), QLayout::SetDefaultConstraint);
}

void TestForm::sizePolicies_data()
{
    QTest::addColumn<QSizePolicy::Policy>("horizontal");
    QTest::addColumn<QSizePolicy::Policy>("vertical");
    QTest::newRow("frame1") << QSizePolicy::MinimumExpanding << QSizePolicy::Preferred;
    QTest::newRow("groupBox_4") << QSizePolicy::MinimumExpanding << QSizePolicy::Preferred;
    QTest::newRow("label_2") << QSizePolicy::Preferred << QSizePolicy::Preferred;
    QTest::newRow("frame") << QSizePolicy::MinimumExpanding << QSizePolicy::Preferred;
    QTest::newRow("groupBox_2") << QSizePolicy::Preferred << QSizePolicy::MinimumExpanding;
    QTest::newRow("groupBox_3") << QSizePolicy::Preferred << QSizePolicy::Preferred;
}

void TestForm::sizePolicies()
{
    QFETCH(QSizePolicy::Policy, horizontal);
    QFETCH(QSizePolicy::Policy, vertical);
    auto *widget = dialog->findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(widget);
    const QSizePolicy policy = widget->sizePolicy();
    QCOMPARE(policy.horizontalPolicy(), horizontal);
    QCOMPARE(policy.verticalPolicy(), vertical);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
}

void TestForm::widgetProperties()
{
    QCOMPARE(ui->groupBox_3->maximumSize(), QSize(QWIDGETSIZE_MAX, 140));
    QCOMPARE(ui->line->frameShape(), QFrame::VLine);
    QCOMPARE(ui->line->frameShadow(), QFrame::Sunken);
    QCOMPARE(ui->frame1->frameShape(), QFrame::NoFrame);
    QCOMPARE(ui->frame->frameShadow(), QFrame::Plain);
    for (QLCDNumber *lcd : { ui->receiveCountLCD, ui->sentLCD }) {
        QCOMPARE(lcd->digitCount(), 6);
        QCOMPARE(lcd->segmentStyle(), QLCDNumber::Flat);
        QCOMPARE(lcd->intValue(), 0);
    }
    QVERIFY(ui->displayByPlainRadio->isChecked());
    QVERIFY(!ui->displayByHexRadio->isChecked());
    QVERIFY(ui->inputByPlainRadio->isChecked());
    QVERIFY(!ui->inputByHexStringRadio->isChecked());
    QVERIFY(!ui->crlfModeCtrl->isChecked());
    QVERIFY(!ui->receiverTextCtl->isReadOnly());
    for (QComboBox *box : dialog->findChildren<QComboBox *>())
        QCOMPARE(box->count(), 0);
    // Each radio pair has its own parent, so each pair is exclusive by itself.
    ui->displayByHexRadio->click();
    QVERIFY(ui->inputByPlainRadio->isChecked());
    QVERIFY(!ui->displayByPlainRadio->isChecked());
}

void TestForm::spacers()
{
    for (QLayout *layout : { static_cast<QLayout *>(ui->horizontalLayout_4),
             static_cast<QLayout *>(ui->horizontalLayout) }) {
        QSpacerItem *spacer = layout->itemAt(3)->spacerItem();
        QVERIFY(spacer);
        QCOMPARE(spacer->sizeHint(), QSize(40, 20));
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    }
    QCOMPARE(ui->horizontalSpacer, ui->horizontalLayout_4->itemAt(3)->spacerItem());
    QCOMPARE(ui->horizontalSpacer_2, ui->horizontalLayout->itemAt(3)->spacerItem());
}

void TestForm::texts_data()
{
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromUtf8(text);
    };
    row("Dialog", "串口工具");
    row("groupBox_4", "");
    row("label", "端口");
    row("label_2", "波特率");
    row("label_3", "校验位");
    row("label_4", "数据位");
    row("label_5", "停止位");
    row("portConnectionButton", "连接/断开");
    row("groupBox_2", "");
    row("crlfModeCtrl", "数据后添加换行");
    row("label_7", "<html><head/><body><p>显示模式:</p></body></html>");
    row("displayByPlainRadio", "纯文本");
    row("displayByHexRadio", "十六进制");
    row("groupBox_3", "");
    row("label_6", "输入模式：");
    row("inputByPlainRadio", "纯文本");
    row("inputByHexStringRadio", "十六进制字符串");
    row("sendButton", "发送");
}

void TestForm::texts()
{
    QFETCH(QString, text);
    QObject *object = item(QTest::currentDataTag());
    QVERIFY(object);
    QString shown;
    if (object == dialog)
        shown = dialog->windowTitle();
    else if (auto *box = qobject_cast<QGroupBox *>(object))
        shown = box->title();
    else if (auto *label = qobject_cast<QLabel *>(object))
        shown = label->text();
    else
        shown = qobject_cast<QAbstractButton *>(object)->text();
    QCOMPARE(shown, text);
}

void TestForm::windowProperties()
{
    QCOMPARE(dialog->objectName(), QString("Dialog"));
    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QCOMPARE(dialog->size(), QSize(821, 516));
    const QString style = dialog->styleSheet();
    QCOMPARE(style.size(), 71);
    QCOMPARE(style,
        QString("QTextEdit {\n\tborder:1px solid gray;\n\tborder-radius: 3px;\n\tmargin: 1px\n}"));
    QCOMPARE(ui->label_7->textFormat(), Qt::AutoText);
    QVERIFY(Qt::mightBeRichText(ui->label_7->text()));
}

void TestForm::keepsExistingObjectName()
{
    QDialog named;
    named.setObjectName("mine");
    Ui_Dialog form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QString("mine"));
}

void TestForm::icon()
{
    QFile file(":/ico/main.ico");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 4286);
    QCOMPARE(bytes.left(6), QByteArray("\x00\x00\x01\x00\x01\x00", 6));
    // A bitmap entry, not PNG: the image starts with a 40-byte BITMAPINFOHEADER.
    QCOMPARE(bytes.mid(22, 4), QByteArray("\x28\x00\x00\x00", 4));
    QImageReader reader(":/ico/main.ico");
    QCOMPARE(reader.imageCount(), 1);
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(image.hasAlphaChannel());
    QVERIFY(!dialog->windowIcon().isNull());
    QCOMPARE(dialog->windowIcon().availableSizes(), QList<QSize> { QSize(32, 32) });
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
