// Columns and their widths, and the remembered settings of the main window.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>

#include "app/CheckState.h"
#include "app/ColumnWidths.h"
#include "app/FolderPicker.h"
#include "app/FrmFendrik.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/SettingsKeys.h"
#include "app/SettingsStore.h"
#include "app/Topmost.h"
#include "app/Volumes.h"

namespace fendrik {

namespace {
const char* const kStatusTexts[] = {
    "0 - verfügbar", "1 - in Arbeit", "2 - wird geprüft", "3 - freigegeben", "4 - festgeschrieben", "5 - ungültig",
};

// Stored values: 0 unticked, 1 ticked, 2 grey.
constexpr Qt::CheckState kStateOfValue[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};

// Sets a check box from a stored text; a text the box cannot take leaves it.
void RestoreCheck(QCheckBox* box, const QString& text) {
  if (std::optional<int> value = ParseCheckState(text.toStdString())) box->setCheckState(kStateOfValue[*value]);
}

QString CheckText(const QCheckBox* box) {
  int value = 0;
  while (value < 2 && kStateOfValue[value] != box->checkState()) ++value;
  return QString::fromStdString(CheckStateText(value));
}
}  // namespace

void FrmFendrik::SetupColumns() {
  rowsModel_->showColumns();
  for (int k = 0; k < kColumnCount; ++k) ListView1->setColumnWidthTwips(k, kColumns[k].firstStartWidth);
  // The list does not sort by itself; its header reports clicks, and the
  // window sorts (ListView1_ColumnClick).
  ListView1->setSortingEnabled(false);
  ListView1->header()->setSectionsClickable(true);
  ListView1->setToolTip("Listenbereich");
  const ColumnWidthSet widths = RestoredWidths([this](const std::string& key) -> std::optional<std::string> {
    std::optional<QString> text = store().read(kSectionList, QString::fromStdString(key));
    return text ? std::optional<std::string>(text->toStdString()) : std::nullopt;
  });
  for (int k = 0; k < kColumnCount; ++k) ListView1->setColumnWidthTwips(k, widths[k]);
}

void FrmFendrik::ResetColumnWidths() {
  if (rowsModel_->columnCount() == 0) return;
  const ColumnWidthSet widths = FirstStartWidths();
  for (int k = 0; k < kColumnCount; ++k) ListView1->setColumnWidthTwips(k, widths[k]);
}

void FrmFendrik::LoadSettings() {
  SettingsStore& settings = store();
  // A step that fails leaves its control as it was; the next step follows.
  Dir1->setPath(settings.read(kSectionSettings, kKeyFolder, QCoreApplication::applicationDirPath()));
  // The drive selector shows the folder's volume; a stored drive this system
  // has moves both there, one it does not have changes nothing.
  showFolderVolume();
  const int drive = Drive1->findText(settings.read(kSectionSettings, kKeyDrive, Drive1->currentText()));
  if (drive >= 0) Drive1->setCurrentIndex(drive);
  for (const BoxKey& filter : kFilterKeys) TxtSuche[filter.box]->setText(settings.read(kSectionSettings, filter.key, ""));
  for (const BoxKey& type : kTypeKeys) RestoreCheck(ChkSE[type.box], settings.read(kSectionSettings, type.key, "0"));
  RestoreCheck(ChkSortiert, settings.read(kSectionSettings, kKeySorted, "1"));
  RestoreCheck(ChkUnter, settings.read(kSectionSettings, kKeySubfolders, "1"));
  Text1->setText(Dir1->path());
  TxtWahl->clear();
  for (const char* status : kStatusTexts) lstStatus->addItem(QString::fromUtf8(status));
  SetTopmost(*this, true, false);
}

bool FrmFendrik::SaveSettings() {
  SettingsStore& settings = store();
  settings.write(kSectionSettings, kKeyDrive, Drive1->currentText());
  settings.write(kSectionSettings, kKeyFolder, Dir1->path());
  for (const BoxKey& filter : kFilterKeys) settings.write(kSectionSettings, filter.key, TxtSuche[filter.box]->text());
  for (const BoxKey& type : kTypeKeys) settings.write(kSectionSettings, type.key, CheckText(ChkSE[type.box]));
  settings.write(kSectionSettings, kKeySorted, CheckText(ChkSortiert));
  settings.write(kSectionSettings, kKeySubfolders, CheckText(ChkUnter));
  for (int k = 0; k < rowsModel_->columnCount(); ++k)
    settings.write(kSectionList, QString::fromStdString(WidthKey(k)),
                   QString::fromStdString(WidthText(ListView1->columnWidthTwips(k))));
  return settings.flush();
}

}  // namespace fendrik
