#include "app_win32/window_layout.h"

namespace tarvelo::win32 {

std::optional<ControlRole> RoleOfId(int id) {
  if (id < kFirstControlId || id >= kFirstControlId + static_cast<int>(kControlCount)) return std::nullopt;
  return static_cast<ControlRole>(id - kFirstControlId);
}

int Scale(int value, int dpi) {
  // Rounded half away from zero, as the system's MulDiv does.
  const long long scaled = static_cast<long long>(value) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

ControlRect PlaceControl(const ControlDesign& control, int dpi, int clientWidth, int clientHeight) {
  const WindowDesign& design = MainWindowDesign();
  const ControlRect scaled{Scale(control.rect.left, dpi), Scale(control.rect.top, dpi), Scale(control.rect.width, dpi),
                           Scale(control.rect.height, dpi)};
  return Anchored(scaled, control.anchor, clientWidth - Scale(design.clientWidth, dpi),
                  clientHeight - Scale(design.clientHeight, dpi));
}

}  // namespace tarvelo::win32
