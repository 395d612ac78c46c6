#include "qx/session.h"

namespace qx {

GraphicsDestination::~GraphicsDestination() { close(); }

void GraphicsDestination::close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
}

}  // namespace qx
