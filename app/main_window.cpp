#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "frontend/program_context.h"
#include "values/text.h"

namespace tarvelo {
namespace {

/// A rectangle of the design as Qt holds it.
QRect ToQRect(const DesignRect& rect) { return QRect(rect.left, rect.top, rect.width, rect.height); }

QString FromCp1252(const std::string& text) { return QString::fromStdString(Cp1252ToUtf8(text)); }

/// The file system's name for a path as the window holds it.
std::string RunPath(const QString& text) { return RunPathFromUtf8(QFile::encodeName(text).toStdString()); }

/// A path the logic holds (UTF-8, the file system's name) as the window
/// holds it.
QString FromRunPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

QStringList FromTexts(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts) list << QString::fromStdString(text);
  return list;
}

/// The report area's font, so that the report's columns line up: a family
/// the font database marks fixed-pitch and able to write Latin text, the
/// design's ("Courier New") when installed, else the system's fixed font,
/// else the first such family; the system's fixed font when there is none.
QFont ReportFont(const FontDesign& design) {
  const QStringList families = QFontDatabase::families();
  const auto fixed = [&](const QString& family) {
    return families.contains(family) && QFontDatabase::isFixedPitch(family) &&
           QFontDatabase::writingSystems(family).contains(QFontDatabase::Latin);
  };
  const QFont systemFixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  QString family;
  for (const QString& candidate : {QString(design.family), QFontInfo(systemFixed).family()}) {
    if (fixed(candidate)) {
      family = candidate;
      break;
    }
  }
  if (family.isEmpty()) {
    const auto any = std::find_if(families.begin(), families.end(), fixed);
    if (any != families.end()) family = *any;
  }
  QFont font = family.isEmpty() ? systemFixed : QFont(family);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSize(design.points);
  return font;
}

/// The user's settings of the window.
constexpr const char* kSettingsName = "Tarvelo";

/// The window icon: a report page with a check mark.
QIcon WindowIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(60, 60, 60), 1.5));
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(5.5, 2.5, 19, 26));
  painter.setPen(QPen(QColor(150, 150, 150), 1.5));
  for (int y = 8; y <= 16; y += 4) painter.drawLine(QPointF(9, y), QPointF(21, y));
  painter.setPen(QPen(QColor(0, 130, 60), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolyline(QPolygonF({QPointF(12, 22), QPointF(17, 27), QPointF(28, 14)}));
  return QIcon(pixmap);
}

/// The toolkit's picture for a button's image.
QIcon ImageOf(const QWidget* window, ControlImage image) {
  switch (image) {
    case ControlImage::kOpenImage:
      return window->style()->standardIcon(QStyle::SP_DirOpenIcon);
    case ControlImage::kCheckImage:
      return window->style()->standardIcon(QStyle::SP_DialogApplyButton);
    case ControlImage::kHelpImage:
      return window->style()->standardIcon(QStyle::SP_MessageBoxQuestion);
    case ControlImage::kSaveImage:
      return window->style()->standardIcon(QStyle::SP_DialogSaveButton);
    case ControlImage::kCloseImage:
      return window->style()->standardIcon(QStyle::SP_DialogCloseButton);
    case ControlImage::kNoImage:
      break;
  }
  return QIcon();
}

// One function per kind of control: the control of design made in window.
// The caller names it and gives it its hint.

/// A label as large as its text, at the design's place.
QWidget* MakeLabel(const ControlDesign& design, QWidget* window) {
  auto* label = new QLabel(design.caption, window);
  label->move(design.rect.left, design.rect.top);
  label->adjustSize();
  return label;
}

/// An edit box of a file's path; window filters its events (a dropped
/// file).
QWidget* MakePathBox(const ControlDesign& design, QWidget* window) {
  auto* box = new QLineEdit(window);
  box->setGeometry(ToQRect(design.rect));
  box->installEventFilter(window);
  return box;
}

/// A flat button with an image, which takes no focus.
QWidget* MakeChoiceButton(const ControlDesign& design, QWidget* window) {
  auto* button = new QToolButton(window);
  button->setIcon(ImageOf(window, design.image));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setGeometry(ToQRect(design.rect));
  return button;
}

/// A vertical progress bar at 0, without text.
QWidget* MakeProgressBar(const ControlDesign& design, QWidget* window) {
  auto* progress = new QProgressBar(window);
  progress->setOrientation(Qt::Vertical);
  progress->setRange(0, MainWindowDesign().progressMaximum);
  progress->setValue(0);
  progress->setTextVisible(false);
  progress->setGeometry(ToQRect(design.rect));
  return progress;
}

/// A push button with an image, which Enter presses while it has the
/// focus; the window's default button when the design says so.
QWidget* MakeCommandButton(const ControlDesign& design, QWidget* window) {
  auto* button = new QPushButton(ImageOf(window, design.image), design.caption, window);
  button->setAutoDefault(true);
  button->setDefault(design.role == MainWindowDesign().defaultButton);
  button->setGeometry(ToQRect(design.rect));
  return button;
}

/// The read-only report, with both scroll bars, not wrapping lines.
QWidget* MakeReportArea(const ControlDesign& design, QWidget* window) {
  auto* report = new QPlainTextEdit(window);
  report->setReadOnly(true);
  report->setLineWrapMode(QPlainTextEdit::NoWrap);
  report->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  report->setGeometry(ToQRect(design.rect));
  return report;
}

QWidget* MakeControl(const ControlDesign& design, QWidget* window) {
  switch (design.kind) {
    case ControlKind::kLabel:
      return MakeLabel(design, window);
    case ControlKind::kPathBox:
      return MakePathBox(design, window);
    case ControlKind::kChoiceButton:
      return MakeChoiceButton(design, window);
    case ControlKind::kProgressBar:
      return MakeProgressBar(design, window);
    case ControlKind::kCommandButton:
      return MakeCommandButton(design, window);
    case ControlKind::kReportArea:
      return MakeReportArea(design, window);
  }
  return nullptr;
}

/// The local file a drag from a file manager carries, or an empty text.
QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return QString();
  const QUrl url = data->urls().constFirst();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

MainWindow::MainWindow(QString programFolder, RegionalSettings settings, WindowServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  CreateControls();
  // The caption names the year of the catalogue's reference window.
  setWindowTitle(QString::fromStdString(WindowCaption(RunPath(programFolder), settings)));
  logic_ = std::make_unique<WindowLogic>(RunPath(programFolder), std::move(settings), *this);
  const QSettings kept(QSettings::UserScope, kSettingsName, kSettingsName);
  const QByteArray geometry = kept.value("geometry").toByteArray();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
}

MainWindow::~MainWindow() {
  // The run ends before the controls it shows in go.
  logic_.reset();
}

void MainWindow::CreateControls() {
  const WindowDesign& design = MainWindowDesign();
  setObjectName(design.designName);
  setWindowTitle(design.caption);
  setWindowIcon(WindowIcon());
  QFont windowFont = font();
  windowFont.setPointSize(design.windowFont.points);
  setFont(windowFont);
  resize(design.clientWidth, design.clientHeight);
  // Smaller, the right-hand buttons would cover the edit boxes.
  setMinimumSize(design.clientWidth, design.clientHeight);
  move(design.left, design.top);

  for (const ControlDesign& control : design.controls) {
    QWidget* widget = MakeControl(control, this);
    widget->setObjectName(control.designName);
    if (*control.hint) widget->setToolTip(control.hint);
    if (control.font == ControlFont::kReport) widget->setFont(ReportFont(design.reportFont));
    controls_[IndexOf(control.role)] = widget;
  }
  QWidget* previous = nullptr;
  for (ControlRole role : RolesInTabOrder()) {
    if (!TakesFocus(DesignOf(role).kind)) continue;
    if (previous) setTabOrder(previous, Control(role));
    previous = Control(role);
  }
  ConnectCommands();
}

void MainWindow::ConnectCommands() {
  const auto connectClick = [this](ControlRole role, auto handler) {
    connect(static_cast<QAbstractButton*>(Control(role)), &QAbstractButton::clicked, this, handler);
  };
  connectClick(ControlRole::kRisksChoice, &MainWindow::ChooseRisksFile);
  connectClick(ControlRole::kClaimsChoice, &MainWindow::ChooseClaimsFile);
  connectClick(ControlRole::kValidate, &MainWindow::Validate);
  connectClick(ControlRole::kExport, &MainWindow::Export);
  connectClick(ControlRole::kHelp, &MainWindow::Help);
  connectClick(ControlRole::kClose, &QWidget::close);
}

QLineEdit* MainWindow::Box(PathBox box) const { return static_cast<QLineEdit*>(Control(PathBoxRole(box))); }

QPlainTextEdit* MainWindow::ReportArea() const { return static_cast<QPlainTextEdit*>(Control(ControlRole::kReport)); }

QProgressBar* MainWindow::Progress() const { return static_cast<QProgressBar*>(Control(ControlRole::kProgress)); }

QPushButton* MainWindow::ValidateButton() const { return static_cast<QPushButton*>(Control(ControlRole::kValidate)); }

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const WindowDesign& design = MainWindowDesign();
  const int extraWidth = width() - design.clientWidth;
  const int extraHeight = height() - design.clientHeight;
  for (const ControlDesign& control : design.controls) {
    // The others keep their place and size (a label the size of its text).
    if (control.anchor == Anchor::kTopLeft) continue;
    Control(control.role)->setGeometry(ToQRect(Anchored(control.rect, control.anchor, extraWidth, extraHeight)));
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter that no control used (an edit box, the report area) validates.
  QPushButton* validate = ValidateButton();
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && validate->isEnabled()) {
    validate->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && (edit == Box(PathBox::kRisks) || edit == Box(PathBox::kClaims))) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedFile(drag->mimeData()).isEmpty()) break;
        if (edit->isReadOnly()) {
          drag->ignore();
        } else {
          drag->acceptProposedAction();
        }
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DroppedFile(drop->mimeData());
        if (path.isEmpty()) break;
        if (!edit->isReadOnly()) {
          edit->setText(QDir::toNativeSeparators(path));
          drop->acceptProposedAction();
        }
        return true;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!logic_->CloseRequested()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

std::string MainWindow::BoxText(PathBox box) const { return Box(box)->text().toStdString(); }

void MainWindow::SetBoxText(PathBox box, const std::string& text) { Box(box)->setText(QString::fromStdString(text)); }

void MainWindow::SetCommandsEnabled(bool enabled) {
  for (ControlRole command : {ControlRole::kRisksChoice, ControlRole::kClaimsChoice, ControlRole::kValidate,
                              ControlRole::kHelp, ControlRole::kExport}) {
    Control(command)->setEnabled(enabled);
  }
  Box(PathBox::kRisks)->setReadOnly(!enabled);
  Box(PathBox::kClaims)->setReadOnly(!enabled);
}

void MainWindow::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void MainWindow::Post(std::function<void()> work) {
  // Queued on this object: dropped once the window is gone.
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

std::optional<std::string> MainWindow::ChooseOpenFile(const std::string& startFile) {
  const auto chosen = services_.ChooseOpenFile(this, QString::fromStdString(startFile));
  if (!chosen) return std::nullopt;
  return QDir::toNativeSeparators(*chosen).toStdString();
}

std::optional<SavePathChoice> MainWindow::ChooseSaveFile(const SaveDialogRequest& request) {
  SaveDialogSettings settings;
  settings.title = QString::fromStdString(request.title);
  settings.initialFolder = QString::fromStdString(request.initialFolder);
  settings.initialName = QString::fromStdString(request.initialName);
  settings.filters = FromTexts(request.fileTypes);
  settings.suffixes = FromTexts(request.suffixes);
  settings.confirmOverwrite = request.confirmOverwrite;
  const auto chosen = services_.ChooseSaveFile(this, settings);
  if (!chosen) return std::nullopt;
  return SavePathChoice{chosen->path.toStdString(), chosen->filter};
}

void MainWindow::ShowError(const std::string& cp1252Text) { services_.ShowError(this, FromCp1252(cp1252Text)); }

void MainWindow::ShowMessage(const std::string& cp1252Text) { services_.ShowMessage(this, FromCp1252(cp1252Text)); }

void MainWindow::ShowInformation(const std::string& cp1252Text) {
  services_.ShowInformation(this, FromCp1252(cp1252Text));
}

bool MainWindow::AskYesNo(const std::string& cp1252Text) { return services_.AskYesNo(this, FromCp1252(cp1252Text)); }

void MainWindow::LaunchDocument(const std::string& path, std::function<void(int)> done) {
  services_.LaunchDocument(QFileInfo(FromRunPath(path)).absoluteFilePath(), std::move(done));
}

std::string MainWindow::HomeFolder() const { return QDir::homePath().toStdString(); }

RememberedPaths MainWindow::RecallPaths() {
  const QSettings settings(QSettings::UserScope, kSettingsName, kSettingsName);
  return {settings.value("riskFile").toString().toStdString(), settings.value("claimFile").toString().toStdString(),
          settings.value("exportFolder").toString().toStdString()};
}

void MainWindow::KeepPaths(const RememberedPaths& paths) {
  QSettings settings(QSettings::UserScope, kSettingsName, kSettingsName);
  settings.setValue("riskFile", QString::fromStdString(paths.riskFile));
  settings.setValue("claimFile", QString::fromStdString(paths.claimFile));
  settings.setValue("exportFolder", QString::fromStdString(paths.exportFolder));
  settings.setValue("geometry", saveGeometry());
}

void MainWindow::SetProgress(int position) { Progress()->setValue(position); }

void MainWindow::ClearReport() { ReportArea()->clear(); }

void MainWindow::ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) {
  const QString text = FromCp1252(cp1252Line);
  QPlainTextEdit* report = ReportArea();
  QTextDocument* document = report->document();
  const bool atEnd = report->verticalScrollBar()->value() == report->verticalScrollBar()->maximum();
  QTextCursor cursor(document);
  if (replace) {
    cursor = QTextCursor(document->findBlockByNumber(static_cast<int>(index)));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  } else {
    // One block per line: the first line fills the document's empty block.
    cursor.movePosition(QTextCursor::End);
    if (index > 0) cursor.insertBlock();
  }
  cursor.insertText(text);
  if (atEnd && !replace) report->verticalScrollBar()->setValue(report->verticalScrollBar()->maximum());
}

}  // namespace tarvelo
