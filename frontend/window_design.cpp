#include "frontend/window_design.h"

#include <algorithm>

namespace tarvelo {
namespace {

using enum ControlRole;
using enum ControlKind;
using enum Anchor;
using enum ControlImage;
constexpr ControlFont kWindowFont = ControlFont::kWindow;
constexpr ControlFont kReportFont = ControlFont::kReport;

constexpr WindowDesign kDesign{
    .designName = "frmInicio",
    .caption = "ORVAL - Tarvelo - 2023",
    .applicationTitle = "Tarvelo",
    .clientWidth = 651,
    .clientHeight = 483,
    .left = 256,
    .top = 114,
    .windowFont = {"MS Sans Serif", 8},
    .reportFont = {"Courier New", 8},
    .progressMaximum = 100,
    // clang-format off
    .controls = {{
        // Role, name in the original design, kind, rectangle (left, top, width, height), anchor;
        // caption, hint, tab order, font, image.
        {kRisksLabel,   "Label3",        kLabel,         {4, 4, 86, 13},     kTopLeft,
           "Arquivo de Riscos",    "",                                     kNoTabOrder, kWindowFont, kNoImage},
        {kRisksPath,    "edArqRisco",    kPathBox,       {4, 19, 445, 21},   kTopLeft,
           "",                     "Local e nome do arquivo de riscos",    0,           kWindowFont, kNoImage},
        {kRisksChoice,  "SpeedButton4",  kChoiceButton,  {455, 19, 22, 22},  kTopLeft,
           "",                     "Defina o arquivo de riscos",           kNoTabOrder, kWindowFont, kOpenImage},
        {kClaimsLabel,  "Label4",        kLabel,         {4, 47, 93, 13},    kTopLeft,
           "Arquivo de Sinistros", "",                                     kNoTabOrder, kWindowFont, kNoImage},
        {kClaimsPath,   "edArqSinistro", kPathBox,       {4, 62, 445, 21},   kTopLeft,
           "",                     "Local e nome do arquivo de sinistros", 1,           kWindowFont, kNoImage},
        {kClaimsChoice, "SpeedButton3",  kChoiceButton,  {455, 62, 22, 22},  kTopLeft,
           "",                     "Defina o arquivo de sinistros",        kNoTabOrder, kWindowFont, kOpenImage},
        {kProgress,     "ProgressBar",   kProgressBar,   {494, 4, 13, 88},   kTopLeft,
           "",                     "",                                     6,           kWindowFont, kNoImage},
        {kValidate,     "btnOk",         kCommandButton, {526, 4, 90, 25},   kTopRight,
           "&Criticar",            "",                                     2,           kWindowFont, kCheckImage},
        {kHelp,         "btnAjuda",      kCommandButton, {622, 4, 25, 25},   kTopRight,
           "",                     "Ajuda",                                7,           kWindowFont, kHelpImage},
        {kExport,       "btnExporta",    kCommandButton, {526, 35, 121, 25}, kTopRight,
           "Exporta Resultado",    "Exporta para TXT",                     5,           kWindowFont, kSaveImage},
        {kClose,        "btnFechar",     kCommandButton, {526, 67, 121, 25}, kTopRight,
           "&Fechar",              "Sai do programa",                      3,           kWindowFont, kCloseImage},
        {kReport,       "edLog",         kReportArea,    {4, 99, 642, 380},  kAll,
           "",                     "Resultado do teste",                   4,           kReportFont, kNoImage},
    }},
    // clang-format on
    .defaultButton = kValidate,
    .exportDialog = {"Exporta resultado Tarvelo",
                     {{{"Resultado (*.txt)", "txt", OutputKind::kReport},
                       {"Detalhes (*.csv)", "csv", OutputKind::kListing},
                       {"Página HTML (*.html)", "html", OutputKind::kHtml}}}},
    .shellMessages = {{
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "Windows 95 only: The operating system denied access to the specified file."},
        {8, "Windows 95 only: There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred."},
        {27, "The filename association is incomplete or invalid."},
        {28, "The DDE transaction could not be completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
        {31, "There is no application associated with the given filename extension."},
        {32, "Windows 95 only: The specified dynamic-link library was not found."},
    }},
};

// What the faces rely on, checked as the program is built.

/// Each control stands at the place of its role: DesignOf finds it there.
constexpr bool EachRoleInItsPlace(const WindowDesign& design) {
  for (size_t i = 0; i < kControlCount; ++i) {
    if (IndexOf(design.controls[i].role) != i) return false;
  }
  return true;
}
static_assert(EachRoleInItsPlace(kDesign), "the controls are not listed once each, in the order of ControlRole");

/// The tab orders are 0 to n - 1, once each, and every control that takes
/// the focus has one.
constexpr bool TabOrdersComplete(const WindowDesign& design) {
  size_t ordered = 0;
  for (const ControlDesign& control : design.controls) {
    if (control.tabOrder == kNoTabOrder) {
      if (TakesFocus(control.kind)) return false;
      continue;
    }
    ++ordered;
    for (const ControlDesign& other : design.controls) {
      if (&other != &control && other.tabOrder == control.tabOrder) return false;
    }
  }
  for (const ControlDesign& control : design.controls) {
    if (control.tabOrder != kNoTabOrder && (control.tabOrder < 0 || static_cast<size_t>(control.tabOrder) >= ordered))
      return false;
  }
  return true;
}
static_assert(TabOrdersComplete(kDesign), "the tab orders are not 0 to n - 1, once each, for every control with focus");

/// No two controls answer the same access key (letters in either case).
constexpr bool AccessKeysUnique(const WindowDesign& design) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (const ControlDesign& control : design.controls) {
    for (const ControlDesign& other : design.controls) {
      if (&other != &control && AccessKey(control) != 0 && upper(AccessKey(control)) == upper(AccessKey(other))) {
        return false;
      }
    }
  }
  return true;
}
static_assert(AccessKeysUnique(kDesign), "two controls have the same access key");

}  // namespace

const WindowDesign& MainWindowDesign() { return kDesign; }

const ControlDesign& DesignOf(ControlRole role) { return kDesign.controls[IndexOf(role)]; }

std::vector<ControlRole> RolesInTabOrder() {
  std::vector<const ControlDesign*> controls;
  for (const ControlDesign& control : kDesign.controls) controls.push_back(&control);
  // Stable: the controls without a tab order keep the design's order.
  std::stable_sort(controls.begin(), controls.end(), [](const ControlDesign* a, const ControlDesign* b) {
    const auto key = [](const ControlDesign* control) {
      return control->tabOrder == kNoTabOrder ? static_cast<int>(kControlCount) : control->tabOrder;
    };
    return key(a) < key(b);
  });
  std::vector<ControlRole> roles;
  for (const ControlDesign* control : controls) roles.push_back(control->role);
  return roles;
}

DesignRect Anchored(DesignRect rect, Anchor anchor, int extraWidth, int extraHeight) {
  switch (anchor) {
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

}  // namespace tarvelo
