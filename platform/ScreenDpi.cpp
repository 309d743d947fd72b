#include "platform/ScreenDpi.h"

namespace qm {

int GetScreenDpi() {
  static const int dpi = kScreenDpi;
  return dpi;
}

}  // namespace qm
