// SPDX-License-Identifier: MIT
#include "dialog.h"

#include "arrivaldisplay.h"
#include "counting.h"
#include "hextext.h"
#include "plaintext.h"
#include "readpacer.h"
#include "sendbox.h"
#include "ui_dialog.h"

#include <QButtonGroup>
#include <QDebug>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QSerialPortInfo>

namespace {

constexpr int plainMode = 1;
constexpr int hexMode = 2;

// What a send logs: the text as typed, or in hex form the digits as parsed, without any of
// the blanks the parser skips between them.
QByteArray loggedSource(const QString &source, int inputMode)
{
    if (inputMode == plainMode)
        return source.toUtf8();
    QString digits;
    digits.reserve(source.size());
    for (const QChar c : source) {
        if (!isHexInputBlank(c))
            digits.append(c);
    }
    return digits.toUtf8();
}

// qDebug() builds its line before it asks whether the line is wanted; a line per arrival
// must cost nothing when the user has silenced them.
bool debugLogged()
{
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return category && category->isDebugEnabled();
}

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_Dialog)
    , receiveCount(0)
    , sentCount(0)
    , plainDecoder(new PlainDisplayDecoder)
{
    ui->setupUi(this);
    ui->receiverTextCtl->setReadOnly(true);
    keepQuickWithLongParagraphs(ui->sendTextCtrl);
    listPorts();
    fillSettingLists();
    ui->sendButton->setDisabled(true);

    serialPort = new QSerialPort(this);
    readPacer = new ReadPacer(serialPort);

    displayModeGroup = new QButtonGroup(this);
    displayModeGroup->addButton(ui->displayByPlainRadio, plainMode);
    displayModeGroup->addButton(ui->displayByHexRadio, hexMode);
    inputModeGroup = new QButtonGroup(this);
    inputModeGroup->addButton(ui->inputByPlainRadio, plainMode);
    inputModeGroup->addButton(ui->inputByHexStringRadio, hexMode);

    arrivalDisplay = new ArrivalDisplay(ui->receiverTextCtl, ui->receiveCountLCD, this);

    connect(ui->portConnectionButton, SIGNAL(clicked()), this, SLOT(handlerPortConnection()));
    connect(serialPort, SIGNAL(readyRead()), this, SLOT(onDataAvailable()));
    connect(ui->sendButton, SIGNAL(clicked()), this, SLOT(sendData()));
    // Qt 6 has no buttonClicked(int); its idClicked(int) came only with Qt 5.15.
    const char *const idClicked = QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        ? SIGNAL(buttonClicked(int))
        : SIGNAL(idClicked(int));
    connect(inputModeGroup, idClicked, this, SLOT(onClickInputMode(int)));
    connect(displayModeGroup, idClicked, this, SLOT(onClickDisplayMode(int)));
    connect(serialPort, &QSerialPort::errorOccurred, this, &Dialog::onPortError);
}

Dialog::~Dialog()
{
    // Closing the port below may still report an error, and the widgets are going away.
    disconnect(serialPort, nullptr, this, nullptr);
    delete ui;
    delete serialPort;
    delete plainDecoder;
}

void Dialog::keyPressEvent(QKeyEvent *event)
{
    // QDialog would end the program on Esc, losing the session, and press its default
    // button, opening or closing the port, on Enter in a box, check box or radio button.
    // A focused push button takes Enter itself and never gets here.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter || event->matches(QKeySequence::Cancel)) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Dialog::listPorts()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        qDebug() << "Index       : " << ui->portCtrl->count();
        qDebug() << "Name        : " << info.portName();
        qDebug() << "Description : " << info.description();
        qDebug() << "Manufacturer: " << info.manufacturer();
        ui->portCtrl->addItem(info.portName() + "(" + info.description() + ")", info.portName());
    }
}

void Dialog::fillSettingLists()
{
    ui->bandrateCtrl->addItems(
        { "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200" });
    ui->bandrateCtrl->setCurrentIndex(3);

    ui->parityCtrl->addItem("None", QSerialPort::NoParity);
    ui->parityCtrl->addItem("Odd", QSerialPort::OddParity);
    ui->parityCtrl->addItem("Even", QSerialPort::EvenParity);
    ui->parityCtrl->addItem("Mark", QSerialPort::MarkParity);
    ui->parityCtrl->addItem("Space", QSerialPort::SpaceParity);

    ui->databitCtrl->addItem("5", QSerialPort::Data5);
    ui->databitCtrl->addItem("6", QSerialPort::Data6);
    ui->databitCtrl->addItem("7", QSerialPort::Data7);
    ui->databitCtrl->addItem("8", QSerialPort::Data8);
    ui->databitCtrl->setCurrentIndex(3);

    ui->stopbitCtrl->addItem("1", QSerialPort::OneStop);
    ui->stopbitCtrl->addItem("1.5", QSerialPort::OneAndHalfStop);
    ui->stopbitCtrl->addItem("2", QSerialPort::TwoStop);
}

void Dialog::handlerPortConnection()
{
    qDebug() << "Open / Close Serial Port";
    if (serialPort->isOpen()) {
        closePort();
        qDebug() << "Serial Port Closed";
    } else {
        openPort();
    }
}

void Dialog::closePort()
{
    serialPort->close();
    // What the box has not shown yet follows in its usual batches, so the click answers at
    // once; a later connection's arrivals queue up behind it.
    showUnfinishedCharacter();
    setSettingBoxesEnabled(true);
    ui->sendButton->setDisabled(true);
}

void Dialog::openPort()
{
    serialPort->setPortName(ui->portCtrl->currentData(Qt::UserRole).toString());
    if (!serialPort->open(QIODevice::ReadWrite)) {
        qDebug() << "Can not Open Serial Port" << serialPort->portName();
        return;
    }
    plainDecoder->reset();
    applyLineSettings();
    // A device pulled out meanwhile has had its port closed by onPortError.
    if (!serialPort->isOpen())
        return;
    setSettingBoxesEnabled(false);
    ui->sendButton->setEnabled(true);
    qDebug() << "Serial Port Opened:" << serialPort->portName() << ","
             << serialPort->baudRate(QSerialPort::AllDirections) << "," << serialPort->parity()
             << "," << serialPort->dataBits() << "," << serialPort->stopBits() << ","
             << serialPort->flowControl();
}

void Dialog::applyLineSettings()
{
    // A device may refuse a setting (a pseudo-terminal has no 6 data bits); the port stays
    // usable, so say which one was refused and carry on. A port closed on an error meanwhile
    // refused nothing.
    const auto warnIfRefused = [this](bool applied, const char *setting) {
        if (!applied && serialPort->isOpen())
            qWarning().noquote() << "Serial port refused the" << setting
                                 << "setting:" << serialPort->errorString();
    };
    const int rate = QVariant(ui->bandrateCtrl->currentText()).toInt();
    warnIfRefused(serialPort->setBaudRate(rate, QSerialPort::AllDirections), "baud rate");
    const auto itemValue
        = [](QComboBox *box) { return box->itemData(box->currentIndex(), Qt::UserRole).toInt(); };
    warnIfRefused(serialPort->setParity(QSerialPort::Parity(itemValue(ui->parityCtrl))), "parity");
    warnIfRefused(
        serialPort->setDataBits(QSerialPort::DataBits(itemValue(ui->databitCtrl))), "data bits");
    warnIfRefused(
        serialPort->setStopBits(QSerialPort::StopBits(itemValue(ui->stopbitCtrl))), "stop bits");
    warnIfRefused(serialPort->setFlowControl(QSerialPort::NoFlowControl), "flow control");
}

void Dialog::setSettingBoxesEnabled(bool enabled)
{
    for (QWidget *box :
        { ui->portCtrl, ui->bandrateCtrl, ui->parityCtrl, ui->databitCtrl, ui->stopbitCtrl })
        box->setEnabled(enabled);
}

// A device that goes away leaves the port open and reporting errors in a tight loop;
// closing it once is the only way back to a usable window.
void Dialog::onPortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!serialPort->isOpen())
        return;
    qWarning() << "Serial Port Closed on Error:" << error << serialPort->errorString();
    closePort();
}

// The start of a character whose rest never came is shown as the stream's end, not lost,
// and the next connection starts afresh.
void Dialog::showUnfinishedCharacter()
{
    const bool plain = displayModeGroup->checkedId() == plainMode;
    const QString text
        = plain ? plainDecoder->finish() : hexDisplayText(plainDecoder->takeUnfinished());
    if (!text.isEmpty())
        arrivalDisplay->add(text, plain ? BreakUnit::Character : BreakUnit::HexGroup,
            ui->crlfModeCtrl->isChecked());
}

void Dialog::onDataAvailable()
{
    qint64 bytesRead = 0;
    while (serialPort->bytesAvailable() > 0) {
        const QByteArray arrival = serialPort->readAll();
        bytesRead += arrival.size();
        const bool hex = displayModeGroup->checkedId() != plainMode;
        // A character begun before the display turned to hex is shown with what follows it.
        const QString text = hex ? hexDisplayText(plainDecoder->takeUnfinished().append(arrival))
                                 : plainDecoder->decode(arrival);

        if (debugLogged()) {
            QString logged = QString::fromUtf8(arrival.constData(), arrival.size());
            logged.remove(QChar(0)); // a zero would end the log line early
            qDebug().noquote() << arrival.size() << " Data Read on Serial Port:" << logged;
        }

        arrivalDisplay->add(
            text, hex ? BreakUnit::HexGroup : BreakUnit::Character, ui->crlfModeCtrl->isChecked());
        receiveCount = addSaturating(receiveCount, arrival.size());
        arrivalDisplay->setCount(receiveCount);
        if (debugLogged())
            qDebug() << "Receive Count: " << receiveCount;
    }
    if (bytesRead > 0)
        readPacer->afterRead(bytesRead);
}

void Dialog::onClickDisplayMode(int id)
{
    qDebug() << "Display Mothed: " << id;
}

void Dialog::sendData()
{
    // toPlainText() would turn a no-break space into a blank; a device gets the characters
    // that were typed.
    const QString source = typedText(ui->sendTextCtrl->document()->toRawText());
    QByteArray output;
    if (inputModeGroup->checkedId() == plainMode) {
        output = plainSendBytes(source);
    } else {
        HexParseResult parsed = parseHexInput(source);
        if (!parsed.accepted()) {
            qWarning().noquote() << "Hex input not sent:" << parsed.refusal;
            return;
        }
        output = parsed.bytes;
    }
    const qint64 written = serialPort->write(output.constData(), output.size());
    if (written < 0) {
        qWarning().noquote() << "Write to serial port failed:" << serialPort->errorString();
    } else {
        sentCount = addSaturating(sentCount, written);
        showCount(ui->sentLCD, sentCount);
    }
    qDebug() << "Write Data to Serial Port.[" << loggedSource(source, inputModeGroup->checkedId())
             << "]";
}

void Dialog::onClickInputMode(int id)
{
    qDebug() << "Input Mothed: " << id;
}
