#include "app/AboutBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppIcon.h"
#include "app/AppSettings.h"
#include "app/UpdateCheck.h"

namespace qm {

Tfrm_About::Tfrm_About(QWidget* AParent) : QDialog(AParent) {
  setWindowTitle(QStringLiteral("About"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout();
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIconPixmap(48));
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout();
  auto* name = new QLabel(QStringLiteral("Quillmark"), this);
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 4);
  name->setFont(bold);
  texts->addWidget(name);
  texts->addWidget(new QLabel(QStringLiteral("Version ") + ProgramVersion(), this));
  auto* notice = new QLabel(
      QStringLiteral("Converts PDF documents into RTF files that keep the look of the pages."),
      this);
  notice->setWordWrap(true);
  texts->addWidget(notice);
  const QString site = WebSiteURL();
  auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(site.toHtmlEscaped()), this);
  link->setObjectName(QStringLiteral("lbl_Link"));
  link->setTextFormat(Qt::RichText);
  link->setTextInteractionFlags(Qt::TextBrowserInteraction);
  link->setOpenExternalLinks(true);
  texts->addWidget(link);
  top->addLayout(texts, 1);
  layout->addLayout(top);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(ok);
  layout->addLayout(buttons);
  setFixedWidth(340);
}

}  // namespace qm
