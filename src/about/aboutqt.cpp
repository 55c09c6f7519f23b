#include "aboutqt.h"
#include "ui_aboutqt.h"

AboutQT::AboutQT(QWidget *parent)
    : QWidget(parent)
    , ui(new AboutQTUi)
{
    ui->setupUi(this);
    ui->label->setText(aboutText());
    setWindowTitle(tr("About QT"));
}

AboutQT::~AboutQT()
{
    delete ui;
}

QString AboutQT::aboutText()
{
    // Nine paragraphs; the last clause of the GPL paragraph stands on its own.
    return tr("About Qt\n"
              "\n"
              "This program uses Qt version %1\n"
              "\n"
              "Qt is a C++ toolkit for building applications that run on many platforms "
              "from one code base, with graphical user interfaces, networking, "
              "serial communication and much more.\n"
              "\n"
              "The same program can be built for Windows, macOS and Linux on the desktop, "
              "and for embedded Linux, Android, iOS and real-time operating systems on "
              "devices.\n"
              "\n"
              "Qt is available under three licensing options, to suit the needs of "
              "different projects.\n"
              "\n"
              "A commercial licence from The Qt Company lets you keep your own source code "
              "closed and comes with support.\n"
              "\n"
              "The GNU Lesser General Public License (LGPL) version 2.1 allows Qt to be used "
              "in open source and closed programs alike, provided that its terms are met.\n"
              "\n"
              "The GNU General Public License (GPL) version 3.0 suits programs that are "
              "themselves released under the GPL version 3.0,\n"
              "\n"
              "or that wish to use Qt under its terms. See the licensing page at "
              "qt.io/licensing for the full terms of each option. \n")
        .arg(QString::fromLatin1(qVersion()));
}
