// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QSerialPort>

class ArrivalDisplay;
class PlainDisplayDecoder;
class QButtonGroup;
class ReadPacer;
class Ui_Dialog;

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void handlerPortConnection();
    void onDataAvailable();
    void sendData();
    void onClickDisplayMode(int id);
    void onClickInputMode(int id);

private:
    void listPorts();
    void fillSettingLists();
    void openPort();
    void closePort();
    void applyLineSettings();
    void setSettingBoxesEnabled(bool enabled);
    void onPortError(QSerialPort::SerialPortError error);
    void showUnfinishedCharacter();

    Ui_Dialog *ui;
    QSerialPort *serialPort;
    ReadPacer *readPacer;
    QButtonGroup *displayModeGroup;
    QButtonGroup *inputModeGroup;
    int receiveCount;
    int sentCount;
    PlainDisplayDecoder *plainDecoder;
    ArrivalDisplay *arrivalDisplay;
};
