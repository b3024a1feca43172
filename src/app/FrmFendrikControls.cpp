// Creation of the main window's controls: kinds, places, captions, start
// texts, tool tips, colours, hidden members and the tab order.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/AppSetup.h"
#include "app/ContactText.h"
#include "app/FolderPicker.h"
#include "app/FrmFendrik.h"
#include "app/LogoArt.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/Volumes.h"
#include "app/WindowLayout.h"

namespace fendrik {

namespace {
const QColor kWindowColour(192, 192, 255);
const QColor kSearchColour(128, 255, 128);
const QColor kSetColour(128, 128, 255);
const QColor kEndColour(255, 128, 128);
const QColor kLogoText(0, 0, 192);
const QColor kLogoBack(128, 128, 255);
const QColor kAltLinesColour(255, 255, 200);

constexpr char kFilterCheckCaption[] = "Enthält / nicht";
constexpr char kTypeCheckCaption[] = "J/N";

void SetBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

// Frames with their caption on the border line.
constexpr char kFrameStyle[] =
    "QGroupBox { border: 1px solid rgb(112, 112, 160); border-radius: 2px; margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px; padding: 0 2px; }";

QString ArrayName(const char* name, int index) { return QString("%1_%2").arg(name).arg(index); }

template <typename Control>
Control* Make(QWidget* parent, const QString& name) {
  auto* control = new Control(parent);
  control->setObjectName(name);
  return control;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* tip, QColor colour) {
  auto* button = Make<QPushButton>(parent, name);
  button->setText(QString::fromUtf8(caption));
  button->setToolTip(QString::fromUtf8(tip));
  SetBackground(button, QPalette::Button, colour);
  return button;
}
}  // namespace

void FrmFendrik::place(QWidget* control, int left, int top, int width, int height) {
  control->setGeometry(twips_.toPixels(left), twips_.toPixels(top), twips_.toPixels(width), twips_.toPixels(height));
}

void FrmFendrik::createControls() {
  setObjectName("FrmFendrik");
  setFixedSize(twips_.toPixels(kClientWidth), twips_.toPixels(kClientHeight));
  SetBackground(this, QPalette::Window, kWindowColour);
  setAutoFillBackground(true);
  setWindowIcon(DrawWindowIcon());
  setFont(WindowFont());

  createFilterControls();

  rowsModel_ = new ResultRowsModel(this);
  ListView1 = new ResultListView(rowsModel_, twips_, this);
  ListView1->setObjectName("ListView1");
  place(ListView1, kListView1.left, kListView1.top, kListView1.width, kListView1.height);
  // The export: Ctrl+E anywhere in the window, and the list's context menu.
  exportAction_ = new QAction(QString::fromUtf8("Liste exportieren…"), this);
  exportAction_->setObjectName("exportAction");
  exportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  exportAction_->setShortcutContext(Qt::WindowShortcut);
  addAction(exportAction_);
  ListView1->addAction(exportAction_);
  ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);

  TxtWahl = Make<QLineEdit>(this, "TxtWahl");
  TxtWahl->setText("Text3");
  TxtWahl->setReadOnly(true);
  place(TxtWahl, kTxtWahl.left, kTxtWahl.top, kTxtWahl.width, kTxtWahl.height);

  Picture1 = Make<QLabel>(this, "Picture1");
  Picture1->setPixmap(DrawLogo());
  Picture1->setAlignment(Qt::AlignCenter);
  Picture1->setToolTip(QString::fromUtf8("Click für mehr Info ..."));
  Picture1->setFocusPolicy(Qt::StrongFocus);
  Picture1->setCursor(Qt::PointingHandCursor);
  place(Picture1, kPicture1.left, kPicture1.top, kPicture1.width, kPicture1.height);

  createSelectionControls();

  CmdSuchen = MakeButton(this, "CmdSuchen", "&Suchen", "Erstellt neuen Suchlauf im aktuellen Pfad", kSearchColour);
  place(CmdSuchen, kCmdSuchen.left, kCmdSuchen.top, kCmdSuchen.width, kCmdSuchen.height);
  cmdSetze = MakeButton(this, "cmdSetze", "Setzen", "Setzt den Status für die gewählten Dateien", kSetColour);
  place(cmdSetze, kCmdSetze.left, kCmdSetze.top, kCmdSetze.width, kCmdSetze.height);
  CmdEnde = MakeButton(this, "CmdEnde", "&Ende", "Beendet Fendrik", kEndColour);
  place(CmdEnde, kCmdEnde.left, kCmdEnde.top, kCmdEnde.width, kCmdEnde.height);

  lstStatus = Make<QListWidget>(this, "lstStatus");
  place(lstStatus, kLstStatus.left, kLstStatus.top, kLstStatus.width, kLstStatus.height);

  TxtLogo = Make<QPlainTextEdit>(this, "TxtLogo");
  TxtLogo->setPlainText(QString::fromUtf8(kContactText));
  TxtLogo->setReadOnly(true);
  TxtLogo->setToolTip(QString::fromUtf8("Click für Ende Info ..."));
  TxtLogo->setFocusPolicy(Qt::NoFocus);
  QFont logoFont = font();
  logoFont.setBold(true);
  logoFont.setPointSizeF(9.75);
  TxtLogo->setFont(logoFont);
  SetBackground(TxtLogo, QPalette::Base, kLogoBack);
  SetBackground(TxtLogo, QPalette::Text, kLogoText);
  place(TxtLogo, kTxtLogo.left, kTxtLogo.top, kTxtLogo.width, kTxtLogo.height);
  TxtLogo->hide();

  Drive1 = Make<QComboBox>(this, "Drive1");
  Drive1->addItems(MountedVolumeRoots());
  place(Drive1, kDrive1.left, kDrive1.top, kDrive1.width, kDrive1.height);
  Drive1->hide();

  Dir1 = Make<FolderPicker>(this, "Dir1");
  place(Dir1, kDir1.left, kDir1.top, kDir1.width, kDir1.height);
  Dir1->hide();
  // The drive selector starts at the drive of the folder selector.
  QString startVolume = VolumeRootOf(Dir1->path());
  if (Drive1->findText(startVolume) < 0) Drive1->addItem(startVolume);
  Drive1->setCurrentIndex(Drive1->findText(startVolume));

  picAltLinesBackground = Make<QWidget>(this, "picAltLinesBackground");
  SetBackground(picAltLinesBackground, QPalette::Window, kAltLinesColour);
  picAltLinesBackground->setAutoFillBackground(true);
  place(picAltLinesBackground, kPicAltLines.left, kPicAltLines.top, kPicAltLines.width, kPicAltLines.height);
  picAltLinesBackground->hide();

  // Pop-ups stand above the list and the frames.
  TxtLogo->raise();
  Dir1->raise();
  Drive1->raise();
  setTabChain();
}

void FrmFendrik::createFilterControls() {
  Frame2 = Make<QGroupBox>(this, "Frame2");
  Frame2->setTitle("Filterkriterien");
  Frame2->setStyleSheet(kFrameStyle);
  Frame2->setToolTip("Filterbereich,   Doppel-Klick zum Zurücksetzen aller Filter");
  place(Frame2, kFrame2.left, kFrame2.top, kFrame2.width, kFrame2.height);

  for (const FilterColumn& column : kFilterColumns) {
    auto* label = Make<QLabel>(Frame2, column.label);
    label->setText(QString::fromUtf8(column.caption));
    place(label, column.left, kFilterLabelTop, column.width, kFilterLabelHeight);
    auto* box = Make<QLineEdit>(Frame2, ArrayName("TxtSuche", column.box));
    box->setText(column.startText);
    place(box, column.left, kFilterBoxTop, column.width, kFilterBoxHeight);
    TxtSuche[column.box] = box;
    auto* check = Make<QCheckBox>(Frame2, ArrayName("ChkFilter", column.box));
    check->setText(QString::fromUtf8(column.box == 2 ? kTypeCheckCaption : kFilterCheckCaption));
    place(check, column.left, kFilterCheckTop, column.width, kFilterCheckHeight);
    ChkFilter[column.box] = check;
  }

  // Hidden members of the arrays; the columns they stand for have no filter.
  struct Hidden {
    int index;
    QWidget* container;
    int left, top, width;
    const char* text;
  };
  const Hidden hiddenBoxes[] = {
      {0, this, 9000, 0, 675, "0"},
      {6, this, 11160, 0, 675, "6"},
      {7, this, 11880, 0, 675, "7"},
      {15, Frame2, 18000, 0, 1500, "Firma"},
  };
  for (const Hidden& hidden : hiddenBoxes) {
    auto* box = Make<QLineEdit>(hidden.container, ArrayName("TxtSuche", hidden.index));
    box->setText(hidden.text);
    place(box, hidden.left, hidden.top, hidden.width, kFilterBoxHeight);
    box->hide();
    TxtSuche[hidden.index] = box;
  }
  const Hidden hiddenChecks[] = {
      {0, Frame2, 7080, 0, 1500, "0"},
      {6, Frame2, 15480, 0, 1500, "6"},
      {7, Frame2, 17160, 0, 1500, "7"},
      {15, Frame2, 18750, kFilterCheckTop, 1500, kFilterCheckCaption},
  };
  for (const Hidden& hidden : hiddenChecks) {
    auto* check = Make<QCheckBox>(hidden.container, ArrayName("ChkFilter", hidden.index));
    check->setText(QString::fromUtf8(hidden.text));
    place(check, hidden.left, hidden.top, hidden.width, kFilterCheckHeight);
    check->hide();
    ChkFilter[hidden.index] = check;
  }
}

void FrmFendrik::createSelectionControls() {
  Frame1 = Make<QGroupBox>(this, "Frame1");
  Frame1->setTitle("Auswahlkriterien");
  Frame1->setStyleSheet(kFrameStyle);
  place(Frame1, kFrame1.left, kFrame1.top, kFrame1.width, kFrame1.height);

  struct CheckSpec {
    int index;
    const char* caption;
    int left, top, width;
  };
  const CheckSpec types[] = {
      {1, "PAR", 200, 300, 855},  {2, "ASM", 1200, 300, 855}, {3, "PSM", 2200, 300, 855},
      {4, "DFT", 3200, 300, 855}, {0, "Alle SOLID EDGE Dateien", 200, 600, 2250},
  };
  for (const CheckSpec& type : types) {
    auto* check = Make<QCheckBox>(Frame1, ArrayName("ChkSE", type.index));
    check->setText(type.caption);
    place(check, type.left, type.top, type.width, 285);
    ChkSE[type.index] = check;
  }
  ChkSortiert = Make<QCheckBox>(Frame1, "ChkSortiert");
  ChkSortiert->setText("sortieren nach Dateiname");
  ChkSortiert->setChecked(true);
  place(ChkSortiert, 4200, 300, 2250, 255);
  ChkUnter = Make<QCheckBox>(Frame1, "ChkUnter");
  ChkUnter->setText("Unterordner erfassen");
  ChkUnter->setChecked(true);
  place(ChkUnter, 4200, 600, 2000, 255);

  Label1 = Make<QLabel>(Frame1, "Label1");
  Label1->setText("Pfad");
  place(Label1, 120, 900, 1005, 285);
  Text1 = Make<QLineEdit>(Frame1, "Text1");
  Text1->setText("Text1");
  Text1->setReadOnly(true);
  Text1->setToolTip(QString::fromUtf8("Verzeichniswahl,   Doppel-Klick zum Ändern des Pfades"));
  place(Text1, kText1.left, kText1.top, kText1.width, kText1.height);
  Label3 = Make<QLabel>(Frame1, "Label3");
  Label3->setText("Dateien");
  place(Label3, 10000, 300, 1000, 255);
  Label6 = Make<QLabel>(Frame1, "Label6");
  SetBackground(Label6, QPalette::Window, Qt::white);
  Label6->setAutoFillBackground(true);
  place(Label6, 11000, 300, 1250, 255);
}

void FrmFendrik::setTabChain() {
  std::vector<QWidget*> chain{CmdSuchen};
  for (int k : {1, 2, 3, 4, 5, 9, 10, 11, 12, 13, 14}) chain.push_back(TxtSuche[k]);
  for (int k : {1, 2, 3, 4, 0}) chain.push_back(ChkSE[k]);
  chain.insert(chain.end(), {ListView1, CmdEnde, ChkUnter, Text1, ChkSortiert, Picture1, TxtWahl});
  for (int k : {1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14}) chain.push_back(ChkFilter[k]);
  chain.insert(chain.end(), {TxtSuche[8], lstStatus, cmdSetze});
  // The pop-ups and hidden members follow; while hidden the chain skips them.
  for (int k : {0, 6, 7, 15}) chain.insert(chain.end(), {TxtSuche[k], ChkFilter[k]});
  chain.insert(chain.end(), {Drive1, Dir1});
  for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

}  // namespace fendrik
