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

// The client area the controls' positions are designed for (96 dpi). The
// right-hand buttons end at 647 and the report area at 646 x 479, so the
// area leaves a margin of 4 pixels around them.
constexpr int kClientWidth = 651;
constexpr int kClientHeight = 483;

/// Design rectangles of the controls that follow the right edge or grow.
const QRect kBtnOk(526, 4, 90, 25);
const QRect kBtnAjuda(622, 4, 25, 25);
const QRect kBtnExporta(526, 35, 121, 25);
const QRect kBtnFechar(526, 67, 121, 25);
const QRect kEdLog(4, 99, 642, 380);

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
/// the font database marks fixed-pitch and able to write Latin text,
/// "Courier New" when installed, else the system's fixed font, else the
/// first such family; the system's fixed font when there is none.
QFont ReportFont() {
  const QStringList families = QFontDatabase::families();
  const auto fixed = [&](const QString& family) {
    return families.contains(family) && QFontDatabase::isFixedPitch(family) &&
           QFontDatabase::writingSystems(family).contains(QFontDatabase::Latin);
  };
  const QFont systemFixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  QString family;
  for (const QString& candidate : {QStringLiteral("Courier New"), QFontInfo(systemFixed).family()}) {
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
  font.setPointSize(8);
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

/// The local file a drag from a file manager carries, or an empty text.
QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return QString();
  const QUrl url = data->urls().constFirst();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

TfrmInicio::TfrmInicio(QString programFolder, RegionalSettings settings, WindowServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  CreateControls();
  logic_ = std::make_unique<WindowLogic>(RunPath(programFolder), std::move(settings), *this);
  const QSettings kept(QSettings::UserScope, kSettingsName, kSettingsName);
  const QByteArray geometry = kept.value("geometry").toByteArray();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
}

TfrmInicio::~TfrmInicio() {
  // The run ends before the controls it shows in go.
  logic_.reset();
}

void TfrmInicio::CreateControls() {
  setObjectName("frmInicio");
  setWindowTitle("ORVAL - Tarvelo - 2023");
  setWindowIcon(WindowIcon());
  QFont windowFont = font();
  windowFont.setPointSize(8);
  setFont(windowFont);
  resize(kClientWidth, kClientHeight);
  // Smaller, the right-hand buttons would cover the edit boxes.
  setMinimumSize(kClientWidth, kClientHeight);
  move(256, 114);

  const auto label = [this](const char* name, const QString& caption, int left, int top) {
    auto* widget = new QLabel(caption, this);
    widget->setObjectName(name);
    widget->move(left, top);
    widget->adjustSize();
    return widget;
  };
  const auto edit = [this](const char* name, const QString& hint, int top) {
    auto* widget = new QLineEdit(this);
    widget->setObjectName(name);
    widget->setToolTip(hint);
    widget->setGeometry(4, top, 445, 21);
    widget->installEventFilter(this);
    return widget;
  };
  const auto chooser = [this](const char* name, const QString& hint, int top) {
    auto* widget = new QToolButton(this);
    widget->setObjectName(name);
    widget->setToolTip(hint);
    widget->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    widget->setAutoRaise(true);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setGeometry(455, top, 22, 22);
    return widget;
  };
  const auto button = [this](const char* name, const QString& caption, const QString& hint,
                             QStyle::StandardPixmap image, const QRect& rect) {
    auto* widget = new QPushButton(style()->standardIcon(image), caption, this);
    widget->setObjectName(name);
    widget->setToolTip(hint);
    widget->setAutoDefault(true);
    widget->setGeometry(rect);
    return widget;
  };

  Label3 = label("Label3", "Arquivo de Riscos", 4, 4);
  edArqRisco = edit("edArqRisco", "Local e nome do arquivo de riscos", 19);
  SpeedButton4 = chooser("SpeedButton4", "Defina o arquivo de riscos", 19);
  Label4 = label("Label4", "Arquivo de Sinistros", 4, 47);
  edArqSinistro = edit("edArqSinistro", "Local e nome do arquivo de sinistros", 62);
  SpeedButton3 = chooser("SpeedButton3", "Defina o arquivo de sinistros", 62);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setOrientation(Qt::Vertical);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  ProgressBar->setGeometry(494, 4, 13, 88);

  btnOk = button("btnOk", "&Criticar", QString(), QStyle::SP_DialogApplyButton, kBtnOk);
  btnOk->setDefault(true);
  btnAjuda = button("btnAjuda", QString(), "Ajuda", QStyle::SP_MessageBoxQuestion, kBtnAjuda);
  btnExporta = button("btnExporta", "Exporta Resultado", "Exporta para TXT", QStyle::SP_DialogSaveButton, kBtnExporta);
  btnFechar = button("btnFechar", "&Fechar", "Sai do programa", QStyle::SP_DialogCloseButton, kBtnFechar);

  edLog = new QPlainTextEdit(this);
  edLog->setObjectName("edLog");
  edLog->setToolTip("Resultado do teste");
  edLog->setReadOnly(true);
  edLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  edLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edLog->setFont(ReportFont());
  edLog->setGeometry(kEdLog);

  setTabOrder(edArqRisco, edArqSinistro);
  setTabOrder(edArqSinistro, btnOk);
  setTabOrder(btnOk, btnFechar);
  setTabOrder(btnFechar, edLog);
  setTabOrder(edLog, btnExporta);
  setTabOrder(btnExporta, btnAjuda);

  connect(SpeedButton4, &QToolButton::clicked, this, &TfrmInicio::SpeedButton4Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TfrmInicio::SpeedButton3Click);
  connect(btnOk, &QPushButton::clicked, this, &TfrmInicio::btnOkClick);
  connect(btnExporta, &QPushButton::clicked, this, &TfrmInicio::btnExportaClick);
  connect(btnAjuda, &QPushButton::clicked, this, &TfrmInicio::btnAjudaClick);
  connect(btnFechar, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmInicio::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int dx = width() - kClientWidth;
  const int dy = height() - kClientHeight;
  btnOk->move(kBtnOk.left() + dx, kBtnOk.top());
  btnAjuda->move(kBtnAjuda.left() + dx, kBtnAjuda.top());
  btnExporta->move(kBtnExporta.left() + dx, kBtnExporta.top());
  btnFechar->move(kBtnFechar.left() + dx, kBtnFechar.top());
  edLog->resize(std::max(0, kEdLog.width() + dx), std::max(0, kEdLog.height() + dy));
}

void TfrmInicio::keyPressEvent(QKeyEvent* event) {
  // Enter that no control used (an edit box, the report area) validates.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && btnOk->isEnabled()) {
    btnOk->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TfrmInicio::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && (edit == edArqRisco || edit == edArqSinistro)) {
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

void TfrmInicio::closeEvent(QCloseEvent* event) {
  if (!logic_->CloseRequested()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

std::string TfrmInicio::BoxText(PathBox box) const { return Box(box)->text().toStdString(); }

void TfrmInicio::SetBoxText(PathBox box, const std::string& text) { Box(box)->setText(QString::fromStdString(text)); }

void TfrmInicio::SetCommandsEnabled(bool enabled) {
  for (QWidget* command : std::initializer_list<QWidget*>{SpeedButton4, SpeedButton3, btnOk, btnAjuda, btnExporta}) {
    command->setEnabled(enabled);
  }
  edArqRisco->setReadOnly(!enabled);
  edArqSinistro->setReadOnly(!enabled);
}

void TfrmInicio::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TfrmInicio::Post(std::function<void()> work) {
  // Queued on this object: dropped once the window is gone.
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

std::optional<std::string> TfrmInicio::ChooseOpenFile(const std::string& startFile) {
  const auto chosen = services_.ChooseOpenFile(this, QString::fromStdString(startFile));
  if (!chosen) return std::nullopt;
  return QDir::toNativeSeparators(*chosen).toStdString();
}

std::optional<SavePathChoice> TfrmInicio::ChooseSaveFile(const SaveDialogRequest& request) {
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

void TfrmInicio::ShowError(const std::string& cp1252Text) { services_.ShowError(this, FromCp1252(cp1252Text)); }

void TfrmInicio::ShowMessage(const std::string& cp1252Text) { services_.ShowMessage(this, FromCp1252(cp1252Text)); }

void TfrmInicio::ShowInformation(const std::string& cp1252Text) {
  services_.ShowInformation(this, FromCp1252(cp1252Text));
}

bool TfrmInicio::AskYesNo(const std::string& cp1252Text) { return services_.AskYesNo(this, FromCp1252(cp1252Text)); }

void TfrmInicio::LaunchDocument(const std::string& path, std::function<void(int)> done) {
  services_.LaunchDocument(QFileInfo(FromRunPath(path)).absoluteFilePath(), std::move(done));
}

std::string TfrmInicio::HomeFolder() const { return QDir::homePath().toStdString(); }

RememberedPaths TfrmInicio::RecallPaths() {
  const QSettings settings(QSettings::UserScope, kSettingsName, kSettingsName);
  return {settings.value("riskFile").toString().toStdString(), settings.value("claimFile").toString().toStdString(),
          settings.value("exportFolder").toString().toStdString()};
}

void TfrmInicio::KeepPaths(const RememberedPaths& paths) {
  QSettings settings(QSettings::UserScope, kSettingsName, kSettingsName);
  settings.setValue("riskFile", QString::fromStdString(paths.riskFile));
  settings.setValue("claimFile", QString::fromStdString(paths.claimFile));
  settings.setValue("exportFolder", QString::fromStdString(paths.exportFolder));
  settings.setValue("geometry", saveGeometry());
}

void TfrmInicio::SetProgress(int position) { ProgressBar->setValue(position); }

void TfrmInicio::ClearReport() { edLog->clear(); }

void TfrmInicio::ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) {
  const QString text = FromCp1252(cp1252Line);
  QTextDocument* document = edLog->document();
  const bool atEnd = edLog->verticalScrollBar()->value() == edLog->verticalScrollBar()->maximum();
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
  if (atEnd && !replace) edLog->verticalScrollBar()->setValue(edLog->verticalScrollBar()->maximum());
}

}  // namespace tarvelo
