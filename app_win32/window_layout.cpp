#include "app_win32/window_layout.h"

#include <algorithm>

#include "app_win32/resource_ids.h"

namespace tarvelo::win32 {

const std::array<ControlDesign, 12> kFrmInicioDesign = {{
    {IDC_LABEL3, {4, 4, 86, 13}, Anchor::kTopLeft},
    {IDC_EDARQRISCO, {4, 19, 445, 21}, Anchor::kTopLeft},
    {IDC_SPEEDBUTTON4, {455, 19, 22, 22}, Anchor::kTopLeft},
    {IDC_LABEL4, {4, 47, 93, 13}, Anchor::kTopLeft},
    {IDC_EDARQSINISTRO, {4, 62, 445, 21}, Anchor::kTopLeft},
    {IDC_SPEEDBUTTON3, {455, 62, 22, 22}, Anchor::kTopLeft},
    {IDC_PROGRESSBAR, {494, 4, 13, 88}, Anchor::kTopLeft},
    {IDC_BTNOK, {526, 4, 90, 25}, Anchor::kTopRight},
    {IDC_BTNAJUDA, {622, 4, 25, 25}, Anchor::kTopRight},
    {IDC_BTNEXPORTA, {526, 35, 121, 25}, Anchor::kTopRight},
    {IDC_BTNFECHAR, {526, 67, 121, 25}, Anchor::kTopRight},
    {IDC_EDLOG, {4, 99, 642, 380}, Anchor::kAll},
}};

int Scale(int value, int dpi) {
  // Rounded half away from zero, as the system's MulDiv does.
  const long long scaled = static_cast<long long>(value) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

ControlRect PlaceControl(const ControlDesign& design, int dpi, int clientWidth, int clientHeight) {
  ControlRect rect{Scale(design.rect.left, dpi), Scale(design.rect.top, dpi), Scale(design.rect.width, dpi),
                   Scale(design.rect.height, dpi)};
  const int extraWidth = clientWidth - Scale(kDesignClientWidth, dpi);
  const int extraHeight = clientHeight - Scale(kDesignClientHeight, dpi);
  switch (design.anchor) {
    case Anchor::kTopLeft:
      break;
    case Anchor::kTopRight:
      rect.left += extraWidth;
      break;
    case Anchor::kAll:
      rect.width = std::max(0, rect.width + extraWidth);
      rect.height = std::max(0, rect.height + extraHeight);
      break;
  }
  return rect;
}

}  // namespace tarvelo::win32
