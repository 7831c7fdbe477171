// The about box (see JX_FormAbout.h).
#include "JX_FormAbout.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

// The version comes from the build (the CMake project version), never from here.
#ifndef UNITPEEK_VERSION
#error "UNITPEEK_VERSION is not defined: build with CMake"
#endif

TJX_FormAbout::TJX_FormAbout(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("JX_FormAbout"));
  setWindowTitle(tr("About %1").arg(QCoreApplication::applicationName()));
  setModal(true);

  auto* Layout = new QVBoxLayout(this);
  auto* Icon = new QLabel(this);
  Icon->setPixmap(QPixmap(QStringLiteral(":/unitpeek/unitpeek-64.png")));
  Icon->setAlignment(Qt::AlignHCenter);
  Layout->addWidget(Icon);

  auto* Text = new QLabel(this);
  Text->setObjectName(QStringLiteral("lblAbout"));
  Text->setTextFormat(Qt::RichText);
  Text->setAlignment(Qt::AlignHCenter);
  Text->setText(
      QStringLiteral("<p style='font-size:large'><b>UnitPeek</b></p>"
                     "<p>Version %1</p>"
                     "<p>A viewer for compiled unit files (.dcu),<br>"
                     "format versions 2 to 7, 100, 101 and 103.</p>"
                     "<p><b>Credits</b><br>"
                     "Unit reader, viewer and command-line front end:<br>the UnitPeek developers.<br>"
                     "Built with Qt %2.</p>")
          .arg(QStringLiteral(UNITPEEK_VERSION), QString::fromLatin1(qVersion())));
  Layout->addWidget(Text);

  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  Layout->addWidget(Buttons);
  Layout->setSizeConstraint(QLayout::SetFixedSize);
}
