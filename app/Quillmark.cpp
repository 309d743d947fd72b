#include <QApplication>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include "app/AppIcon.h"
#include "app/MainWindow.h"

// quillmark-gui [FILE.pdf ...]: one file opens on the single-file page, several fill the list.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillmark"));
  QApplication::setApplicationVersion(QStringLiteral(QM_PROGRAM_VERSION));
  QApplication::setWindowIcon(qm::AppIcon());

  qm::Tfrm_Main window(qm::DefaultMainServices());
  window.show();
  const QStringList files = QApplication::arguments().mid(1);
  if (!files.isEmpty()) {
    QTimer::singleShot(0, &window, [&window, files] {
      if (files.size() == 1) {
        window.DropOnSingle(files);
      } else {
        window.pc_Main->setCurrentWidget(window.tab_Multiple);
        window.AddFiles(files);
      }
    });
  }
  return QApplication::exec();
}
