// Start-up, shutdown and the event handlers of the main window.
#include "app/FrmFendrik.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

#include "Version.h"
#include "app/FolderPicker.h"
#include "app/Messages.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/SearchJob.h"
#include "app/SettingsStore.h"
#include "app/SingleInstance.h"
#include "app/Volumes.h"
#include "app/WindowLayout.h"
#include "properties/StorageError.h"

namespace fendrik {

namespace {
double ScreenDpi() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInchX() : kStandardDpi;
}
}  // namespace

FrmFendrik::FrmFendrik(QWidget* parent) : QWidget(parent), twips_(ScreenDpi()) {
  createControls();
  connectHandlers();
}

FrmFendrik::~FrmFendrik() {
  stopExport();
  stopReload();
  stopStatusChange();
}

SettingsStore& FrmFendrik::store() {
  if (!store_) store_ = std::make_unique<SettingsStore>();
  return *store_;
}

void FrmFendrik::connectHandlers() {
  connect(CmdSuchen, &QPushButton::clicked, this, [this] { CmdSuchen_Click(); });
  connect(CmdEnde, &QPushButton::clicked, this, [this] { CmdEnde_Click(); });
  connect(cmdSetze, &QPushButton::clicked, this, [this] { cmdSetze_Click(); });
  for (int k = 0; k < kTypeBoxes; ++k)
    connect(ChkSE[k], &QCheckBox::stateChanged, this, [this, k] { ChkSE_Click(k); });
  connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1, &FolderPicker::pathChanged, this, [this] { Dir1_Change(); });
  connect(Dir1, &FolderPicker::lostFocus, this, [this] { Dir1_LostFocus(); });
  connect(ListView1->header(), &QHeaderView::sectionClicked, this, [this](int column) { ListView1_ColumnClick(column); });
  connect(ListView1, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) { ListView1_ItemClick(index.row()); });
  connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { ListView1_DblClick(); });
  connect(ListView1, &ResultListView::characterTyped, this, [this](QChar key) { ListView1_KeyPress(key); });
  connect(exportAction_, &QAction::triggered, this, [this] { exportList(); });
  // Clicks on boxes, labels and frames and the focus changes of the filter
  // boxes arrive through the event filter.
  for (QObject* watched : std::initializer_list<QObject*>{Text1, Picture1, TxtLogo->viewport(), Frame2})
    watched->installEventFilter(this);
  for (QLineEdit* box : TxtSuche) box->installEventFilter(this);
}

bool FrmFendrik::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool leftClick =
      type == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  const bool doubleClick = type == QEvent::MouseButtonDblClick;
  if (watched == Text1) {
    if (leftClick) Text1_Click();
    if (doubleClick) Text1_DblClick();
  } else if (watched == Picture1 && leftClick) {
    Picture1_Click();
  } else if (watched == TxtLogo->viewport() && leftClick) {
    TxtLogo_Click();
    return true;
  } else if (watched == Frame2 && doubleClick) {
    Frame2_DblClick();
  } else if (type == QEvent::ShortcutOverride &&
             static_cast<QKeyEvent*>(event)->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_E)) {
    // Some systems' key bindings make Ctrl+E the end of the line in a text
    // box; in the filter boxes it exports the list as everywhere else.
    for (QLineEdit* box : TxtSuche)
      if (watched == box) return true;
  } else if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
    for (int k = 0; k < kFilterBoxes; ++k) {
      if (watched != TxtSuche[k]) continue;
      // Switching to another window and back is no leaving of the box.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) continue;
      if (type == QEvent::FocusIn) TxtSuche_GotFocus(k);
      else TxtSuche_LostFocus(k);
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool FrmFendrik::Form_Load(SingleInstance& guard) {
  AppTitle = QString("Fendrel,  v%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
  if (guard.anotherInstanceRuns()) {
    setWindowTitle(AppTitle + " (wird gestartet)");
    guard.bringOtherToFront();
    return false;
  }
  setWindowTitle(AppTitle);
  connect(&guard, &SingleInstance::frontRequested, this, &FrmFendrik::bringToFront);
  move(twips_.toPixels(kWindowLeft), twips_.toPixels(kWindowTop));

  try {
    server_ = FileProperties::Create();
  } catch (const StorageError& error) {
    ShowMessage(nullptr, "Unable to start the 'Solid Edge File Properties': " + QString::fromStdString(error.description()));
    return true;
  } catch (const std::exception& error) {
    ShowMessage(nullptr, "Unable to start the 'Solid Edge File Properties': " + QString::fromLocal8Bit(error.what()));
    return true;
  }
  SetupColumns();
  LoadSettings();
  return true;
}

void FrmFendrik::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  // A search still running stops; the list file of the last finished one stays.
  stopSearch();
  stopReload();
  // An export still running stops; its file stays as it was.
  stopExport();
  // A status change finishes the documents in hand and writes no further one.
  stopStatusChange();
  if (!SaveSettings())
    ShowMessage(this, QString::fromUtf8("Die Einstellungen konnten nicht gespeichert werden:\n") + store().fileName() +
                          QString::fromUtf8("\nFendrik wird trotzdem beendet."));
  endProgram();
}

void FrmFendrik::endProgram() {
  TestLog("ended");
  QCoreApplication::exit(0);
}

void FrmFendrik::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void FrmFendrik::bringToFront() {
  TestLog("brought to front by a second start");
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  showNormal();
  raise();
  activateWindow();
}

void FrmFendrik::CmdEnde_Click() { Form_Unload(); }

void FrmFendrik::ChkSE_Click(int index) {
  if (index == 0) {
    const Qt::CheckState all = ChkSE[0]->checkState();
    for (int k = 1; k < kTypeBoxes; ++k) ChkSE[k]->setCheckState(all);
  }
  CmdSuchen->setEnabled(!listBusy_);
}

void FrmFendrik::Drive1_Change() {
  const QString volume = Drive1->currentText();
  if (Dir1->setPath(Dir1->currentFolderOfVolume(volume))) return;
  // A drive that cannot be read: stay where the folder selector is.
  QString kept = VolumeRootOf(Dir1->path());
  {
    QSignalBlocker quiet(Drive1);
    Drive1->setCurrentIndex(Drive1->findText(kept));
  }
  ShowMessage(this, "Das Laufwerk " + volume + QString::fromUtf8(" ist nicht bereit."));
}

void FrmFendrik::Dir1_Change() {
  Text1->setText(Dir1->path());
  showFolderVolume();
  CmdSuchen->setEnabled(!listBusy_);
}

void FrmFendrik::showFolderVolume() {
  // A folder on another volume (from the settings or the path box) takes the
  // drive selector along, without the selector's own change handler.
  const int drive = Drive1->findText(VolumeRootOf(Dir1->path()));
  if (drive >= 0 && drive != Drive1->currentIndex()) {
    QSignalBlocker quiet(Drive1);
    Drive1->setCurrentIndex(drive);
  }
}

void FrmFendrik::Dir1_LostFocus() { hidePickers(); }

void FrmFendrik::Text1_Click() { hidePickers(); }

void FrmFendrik::Text1_DblClick() {
  // In window coordinates: the path box sits inside Frame1.
  const int left = kText1.left + kFrame1.left;
  const int dirTop = kText1.top + kFrame1.top - kDir1.height - kPickerGap;
  place(Dir1, left, dirTop, kText1.width, kDir1.height);
  place(Drive1, left, dirTop - kDrive1.height - kPickerGap, kText1.width, kDrive1.height);
  Dir1->show();
  Drive1->show();
}

void FrmFendrik::hidePickers() {
  Dir1->hide();
  Drive1->hide();
}

void FrmFendrik::Picture1_Click() { TxtLogo->setVisible(!TxtLogo->isVisible()); }

void FrmFendrik::TxtLogo_Click() { TxtLogo->hide(); }

}  // namespace fendrik
