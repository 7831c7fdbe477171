// The about box (see JX_FormAbout.h).
#include "JX_FormAbout.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

// The version comes from the build (the CMake project version), never from here.
#ifndef UNITPEEK_VERSION
#error "UNITPEEK_VERSION is not defined: build with CMake"
#endif

namespace {

// The keys of the window and its views, a table of two columns.
QLabel* KeysPage() {
  static const char* const Keys[][2] = {
      {"Ctrl+O", QT_TRANSLATE_NOOP("TJX_FormAbout", "Open unit files")},
      {"Ctrl+Shift+O", QT_TRANSLATE_NOOP("TJX_FormAbout", "Open a folder")},
      {"Ctrl+W", QT_TRANSLATE_NOOP("TJX_FormAbout", "Close the tab")},
      {"Ctrl+Tab, Ctrl+Shift+Tab", QT_TRANSLATE_NOOP("TJX_FormAbout", "Next, previous tab")},
      {"Ctrl+1 ... Ctrl+4", QT_TRANSLATE_NOOP("TJX_FormAbout", "Summary, Declarations, Bytes, Code")},
      {"Ctrl+F", QT_TRANSLATE_NOOP("TJX_FormAbout", "Find in the view (the bytes too)")},
      {"Enter, F3 / Shift+Enter, Shift+F3", QT_TRANSLATE_NOOP("TJX_FormAbout", "Next / previous match")},
      {"Alt+Left", QT_TRANSLATE_NOOP("TJX_FormAbout", "Back, after following a link")},
      {"Ctrl+G", QT_TRANSLATE_NOOP("TJX_FormAbout", "Go to an offset in the Bytes view")},
      {"Ctrl+C, Ctrl+A", QT_TRANSLATE_NOOP("TJX_FormAbout", "Copy, select all in a listing")},
      {"Ctrl+Shift+F", QT_TRANSLATE_NOOP("TJX_FormAbout", "Find in a folder")},
      {"F5", QT_TRANSLATE_NOOP("TJX_FormAbout", "Rescan a folder")},
      {"Ctrl+'+', Ctrl+'-', Ctrl+0", QT_TRANSLATE_NOOP("TJX_FormAbout", "Zoom the graph in, out, to fit")},
      {"F1", QT_TRANSLATE_NOOP("TJX_FormAbout", "This box")},
  };
  QString Html = QStringLiteral("<table cellspacing='4'>");
  for (const auto& K : Keys)
    Html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                .arg(QString::fromLatin1(K[0]).toHtmlEscaped(), QCoreApplication::translate("TJX_FormAbout", K[1]));
  auto* Page = new QLabel(Html + QStringLiteral("</table>"));
  Page->setObjectName(QStringLiteral("lblKeys"));
  Page->setTextFormat(Qt::RichText);
  Page->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  return Page;
}

}  // namespace

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
  auto* Pages = new QTabWidget(this);
  Pages->setObjectName(QStringLiteral("AboutPages"));
  Pages->addTab(Text, tr("About"));
  Pages->addTab(KeysPage(), tr("Keys"));
  Layout->addWidget(Pages);

  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  Layout->addWidget(Buttons);
  Layout->setSizeConstraint(QLayout::SetFixedSize);
}
