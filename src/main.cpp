// SPDX-License-Identifier: MIT
#include "dialog.h"

#include <QApplication>
#include <QTextCodec>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForLocale());
    Dialog dialog(nullptr);
    dialog.show();
    return app.exec();
}
