#pragma once

#include <optional>

#include "frontend/window_design.h"

namespace tarvelo::win32 {

// Where the controls of the window's design (frontend/window_design.h) go
// on Windows: the design at 96 dots per inch scaled to the window's DPI,
// moved or stretched by their anchors when the window is resized, and the
// identifier each control has as a child of the window. No system header:
// the face applies these rectangles.

/// A rectangle in pixels of the window's client area at its DPI.
using ControlRect = DesignRect;

/// The identifier of the first control, as a child of the window; the
/// others follow in the design's order.
inline constexpr int kFirstControlId = 1001;

/// The identifier of the control with role.
constexpr int ControlId(ControlRole role) { return kFirstControlId + static_cast<int>(IndexOf(role)); }

/// The role of the control with identifier id; nullopt for an identifier
/// of no control of the design.
std::optional<ControlRole> RoleOfId(int id);

/// value (pixels at 96 dpi) at dpi, rounded to the nearest pixel.
int Scale(int value, int dpi);

/// The rectangle of control at dpi in a client area of clientWidth x
/// clientHeight pixels (the window's current size at that dpi): the design
/// rectangle scaled, moved right (kTopRight) or grown (kAll) by what the
/// client area has beyond the design's client area scaled. A client area
/// smaller than the design never makes a size negative.
ControlRect PlaceControl(const ControlDesign& control, int dpi, int clientWidth, int clientHeight);

}  // namespace tarvelo::win32
