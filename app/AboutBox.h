#pragma once

#include <QDialog>

// The About box: product name, version, notice and a link to the maker's web site.
namespace qm {

class Tfrm_About final : public QDialog {
  Q_OBJECT
public:
  explicit Tfrm_About(QWidget* AParent = nullptr);
};

}  // namespace qm
