#pragma once

#include <array>

namespace tarvelo::win32 {

// Where the controls of frmInicio go: the design at 96 dots per inch,
// scaled to the window's DPI, and the anchors that move or stretch a
// control when the window is resized. No system header: the face applies
// these rectangles.

/// A rectangle in pixels of the window's client area.
struct ControlRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const ControlRect&, const ControlRect&) = default;
};

/// How a control follows the window's right and bottom edges.
enum class Anchor {
  kTopLeft,   ///< keeps its left, top and size
  kTopRight,  ///< keeps its distance from the right edge
  kAll,       ///< grows and shrinks with the window
};

/// One control of the design: its identifier (resource_ids.h), its
/// rectangle at 96 dpi and its anchor.
struct ControlDesign {
  int id;
  ControlRect rect;
  Anchor anchor;
};

/// The controls, in the design's order.
extern const std::array<ControlDesign, 12> kFrmInicioDesign;

/// The client area the design is drawn for at 96 dpi: the right-hand
/// buttons end at 647 and the report area at 646 x 479, so it leaves a
/// margin of 4 pixels around them. It is also the smallest client area
/// (smaller, the right-hand buttons would cover the edit boxes).
inline constexpr int kDesignClientWidth = 651;
inline constexpr int kDesignClientHeight = 483;
/// The window's place on the screen at 96 dpi.
inline constexpr int kDesignLeft = 256;
inline constexpr int kDesignTop = 114;

/// value (pixels at 96 dpi) at dpi, rounded to the nearest pixel.
int Scale(int value, int dpi);

/// The rectangle of design at dpi in a client area of clientWidth x
/// clientHeight pixels (the window's current size at that dpi): the design
/// rectangle scaled, moved right (kTopRight) or grown (kAll) by what the
/// client area has beyond the scaled design client area. A client area
/// smaller than the design never makes a size negative.
ControlRect PlaceControl(const ControlDesign& design, int dpi, int clientWidth, int clientHeight);

}  // namespace tarvelo::win32
