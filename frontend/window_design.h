#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "frontend/output_kind.h"
#include "frontend/window_face.h"

namespace tarvelo {

// The design of the program's main window as data that every face
// builds its controls from: what each control is for (its role), its kind,
// rectangle, caption, hint, tab order, anchor, font and image; the
// window's caption, size and place; the export dialog's title and file
// types; the messages of the shell's results. Rectangles are pixels of the
// client area at 96 dots per inch; a face scales them to its screen.
// Texts are UTF-8 (all of them ASCII).

/// What a control of the window is for. The design lists the controls in
/// this order.
enum class ControlRole {
  kRisksLabel,    ///< labels the risks file's path
  kRisksPath,     ///< the path of the risks file
  kRisksChoice,   ///< chooses the risks file in the open dialog
  kClaimsLabel,   ///< labels the claims file's path
  kClaimsPath,    ///< the path of the claims file
  kClaimsChoice,  ///< chooses the claims file in the open dialog
  kProgress,      ///< the run's progress
  kValidate,      ///< starts the run
  kHelp,          ///< opens the help file
  kExport,        ///< saves the report
  kClose,         ///< closes the window
  kReport,        ///< shows the report, read-only
};
inline constexpr size_t kControlCount = 12;

/// What a face makes for a control.
enum class ControlKind {
  kLabel,          ///< a text that takes no focus
  kPathBox,        ///< a one-line edit box
  kChoiceButton,   ///< a button with an image only, that takes no focus
  kProgressBar,    ///< a vertical progress bar, that takes no focus
  kCommandButton,  ///< a button with an image, and a caption when it has one
  kReportArea,     ///< a multi-line read-only text with both scroll bars, not wrapping lines
};

/// A rectangle of the design: pixels of the client area at 96 dpi.
struct DesignRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const DesignRect&, const DesignRect&) = default;
};

/// How a control follows the window's right and bottom edges when the
/// window is resized.
enum class Anchor {
  kTopLeft,   ///< keeps its left, top and size
  kTopRight,  ///< keeps its distance from the right edge
  kAll,       ///< grows and shrinks with the window
};

/// The font of a control: the window's or the report's.
enum class ControlFont { kWindow, kReport };

/// The image of a button, which each face draws its own way.
enum class ControlImage { kNoImage, kOpenImage, kCheckImage, kHelpImage, kSaveImage, kCloseImage };

/// A font of the design: its family and size in points.
struct FontDesign {
  const char* family;
  int points;
};

/// A control of the window as designed.
struct ControlDesign {
  ControlRole role;
  /// The control's name in the window's original design ("SpeedButton4"),
  /// which a face gives it as its name where the toolkit names controls.
  const char* designName;
  ControlKind kind;
  DesignRect rect;
  Anchor anchor;
  /// The caption, "&" before its access key; empty for none.
  const char* caption;
  /// The hint shown when the mouse rests on the control; empty for none.
  const char* hint;
  /// The control's place in the order of the window's Tab key, from 0;
  /// kNoTabOrder for a control without one.
  int tabOrder;
  ControlFont font;
  ControlImage image;
};
inline constexpr int kNoTabOrder = -1;

/// A file type offered by a save dialog: its name in the dialog
/// ("Resultado (*.txt)") and the extension added, without its dot, to a
/// name typed without one.
struct FileTypeDesign {
  const char* name;
  const char* suffix;
  /// What the export saves when this type is chosen.
  OutputKind output;
};

/// The export command's save dialog. The open dialog of the file choices
/// has no title and no filter.
struct SaveDialogDesign {
  const char* title;
  /// The first is chosen at the start.
  std::array<FileTypeDesign, 3> fileTypes;
};

/// The message shown for a result code of the shell's open call.
struct ShellMessage {
  int code;
  const char* text;
};

/// The window as designed.
struct WindowDesign {
  /// The window's name in its original design.
  const char* designName;
  const char* caption;
  /// The application's title, also the caption of its message boxes.
  const char* applicationTitle;
  /// The client area the rectangles are drawn for, also the smallest one:
  /// the right-hand buttons end at 647 and the report area at 646 x 479,
  /// leaving a margin of 4 pixels around them.
  int clientWidth;
  int clientHeight;
  /// The window's place on the screen.
  int left;
  int top;
  FontDesign windowFont;
  FontDesign reportFont;
  /// The progress bar goes from 0 to this.
  int progressMaximum;
  /// In the order of ControlRole.
  std::array<ControlDesign, kControlCount> controls;
  /// The button that Enter presses wherever the focus is (a command
  /// button).
  ControlRole defaultButton;
  SaveDialogDesign exportDialog;
  /// The results of the shell's open call that show a message; any other
  /// shows nothing.
  std::array<ShellMessage, 12> shellMessages;
};

/// The design of the program's window.
const WindowDesign& MainWindowDesign();

/// The design of the control with role.
const ControlDesign& DesignOf(ControlRole role);

/// The position of role in the design (0 for the first control).
constexpr size_t IndexOf(ControlRole role) { return static_cast<size_t>(role); }

/// The edit box of the file a PathBox names.
constexpr ControlRole PathBoxRole(PathBox box) {
  return box == PathBox::kRisks ? ControlRole::kRisksPath : ControlRole::kClaimsPath;
}

/// Whether a control of kind takes the keyboard's focus.
constexpr bool TakesFocus(ControlKind kind) {
  return kind == ControlKind::kPathBox || kind == ControlKind::kCommandButton || kind == ControlKind::kReportArea;
}

/// The access key of a control, the character after the "&" of its
/// caption (as written), or 0 when it has none.
constexpr char AccessKey(const ControlDesign& control) {
  for (const char* c = control.caption; *c; ++c) {
    if (*c == '&') return c[1];
  }
  return 0;
}

/// Every role: first those with a tab order, in that order, then the
/// others in the design's order. A face that orders its controls by their
/// creation makes them in this order; the controls of kinds that take no
/// focus are left out of the Tab key's order all the same.
std::vector<ControlRole> RolesInTabOrder();

/// rect of a control with anchor, in a client area extraWidth x
/// extraHeight larger than the one it is designed for (smaller for
/// negative values): moved right (kTopRight) or grown (kAll). A size never
/// becomes negative.
DesignRect Anchored(DesignRect rect, Anchor anchor, int extraWidth, int extraHeight);

}  // namespace tarvelo
