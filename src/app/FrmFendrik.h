#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <memory>

#include "app/Twips.h"
#include "properties/FileProperties.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QShortcut;
class QTimer;

namespace fendrik {

class FolderPicker;
class ResultListView;
class ResultRowsModel;
class SettingsStore;
struct SearchJob;
struct ReloadJob;
struct ExportJob;
class SingleInstance;

// The main window: the filter frame, the result list, the selection frame
// with folder, types and options, the buttons, the status list and the logo.
// Control names are also the widgets' object names; members of a control
// array are named with their index, e.g. "TxtSuche_5".
class FrmFendrik : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFilterBoxes = 16;
  static constexpr int kTypeBoxes = 5;

  explicit FrmFendrik(QWidget* parent = nullptr);
  ~FrmFendrik() override;

  // Start-up. False when another instance runs: it was asked to come to the
  // front, and this one must end without showing its window.
  bool Form_Load(SingleInstance& guard);
  // Shutdown: stores settings and column widths, then ends the program.
  void Form_Unload();

  void SetupColumns();
  void ResetColumnWidths();
  void LoadSettings();
  // Writes the settings and widths; false when the store could not be written.
  bool SaveSettings();

  ResultListView* listView() const { return ListView1; }
  ResultRowsModel* rowsModel() const { return rowsModel_; }
  QWidget* altLinesPicture() const { return picAltLinesBackground; }
  const Twips& twips() const { return twips_; }

  // Brings the window back from a minimised state to the front.
  void bringToFront();

  // The open check of the current document: opens and closes CurrentPath
  // through the server and tells the user when it cannot be opened.
  void SEProperty_Liste();
  const std::string& currentPath() const { return CurrentPath; }
  // True while a status change writes documents.
  bool statusChangeRuns() const { return statusRun_ != nullptr; }
  int clickedRow() const { return ClickedRow; }
  // Shows the rows of the search that has just ended: the list is emptied
  // and gets the rows in ScanList order (sorted by file name when that was
  // chosen), Label6 their number, the list the focus.
  void FülleListView();
  // From CmdSuchen until the rows of that search are shown.
  bool searchRunning() const;
  // While a long run works on the list (a search, a status change): wait
  // cursor; the search button, "Setzen", the filters and the list disabled;
  // Esc asks the run to stop (busyStopRequested).
  bool listBusy() const { return listBusy_; }
  bool busyStopRequested() const { return busyStop_; }
  // The filter reset: empties the list and starts reading the list file of
  // the last search into it, off the user-interface thread; the list is busy
  // meanwhile (Esc keeps the rows read so far). When the reading ends, the
  // rows are shown, the row bands painted and the filter boxes cleared; a
  // missing or unreadable file, and lines that gave no row, are told in a
  // message. False when no reading was started (a run is busy, or no
  // thread could be had).
  bool reloadListFile();
  bool reloadRunning() const;

  // "Liste exportieren…" (Ctrl+E, and in the list's context menu): asks for
  // a file in a save dialog and writes the rows the list shows, in their
  // order, into it as an Excel workbook or CSV (by the name's extension;
  // FrmFendrikExport.cpp). The rows are copied and written off the
  // user-interface thread; the list is busy meanwhile (Esc stops, and the
  // file is left as it was). An empty list is only told.
  QAction* exportAction() const { return exportAction_; }
  bool exportRunning() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Event handlers, named after control and event.
  void CmdSuchen_Click();
  void CmdEnde_Click();
  void cmdSetze_Click();
  void ChkSE_Click(int index);
  void Drive1_Change();
  void Dir1_Change();
  void Dir1_LostFocus();
  void Text1_Click();
  void Text1_DblClick();
  void Picture1_Click();
  void TxtLogo_Click();
  void TxtSuche_GotFocus(int index);
  void TxtSuche_LostFocus(int index);
  void Frame2_DblClick();
  void ListView1_ColumnClick(int column);
  void ListView1_ItemClick(int row);
  void ListView1_DblClick();
  void ListView1_KeyPress(QChar key);

  void ApplyFilter(int index);
  void ClearFilters();
  // Long runs on the list (FrmFendrikSearch.cpp).
  void setListBusy(bool busy);
  void requestBusyStop();
  // The search thread's work: the walk, the reading, the list file.
  void runSearchJob(SearchJob& job);
  // Label6 follows a search or a reload, ten times a second.
  void startProgress();
  void showSearchProgress();
  void finishSearch();
  // Stops a running search and waits for it; no list file is written.
  void stopSearch();
  void finishReload();
  void stopReload();
  // The export (FrmFendrikExport.cpp).
  void exportList();
  void startExport(const std::string& path);
  void finishExport();
  void stopExport();

  // The status change runs off the user-interface thread; these take its
  // reports there (FrmFendrikStatus.cpp).
  struct StatusChangeRun;
  struct StatusChangeRunEnd {
    void operator()(StatusChangeRun* run) const;
  };
  void statusDocumentDone(size_t index, bool written, bool unchanged, int number, const QString& description);
  void statusChangeEnded();
  // Lets the documents being written finish, begins no further one, and
  // waits for that.
  void stopStatusChange();

  void createControls();
  void createFilterControls();
  void createSelectionControls();
  void connectHandlers();
  void setTabChain();
  void place(QWidget* control, int left, int top, int width, int height);
  void hidePickers();
  // The drive selector on the volume of the folder selector's folder.
  void showFolderVolume();
  SettingsStore& store();
  void endProgram();

  Twips twips_;
  QString AppTitle;
  std::unique_ptr<FileProperties> server_;
  std::unique_ptr<SettingsStore> store_;
  bool unloaded_ = false;
  // The document of the row clicked last (or filled last), its path byte for
  // byte, and that row's position counted from 1; 0 before the first row
  // click.
  std::string CurrentPath;
  int ClickedRow = 0;
  std::unique_ptr<StatusChangeRun, StatusChangeRunEnd> statusRun_;
  std::unique_ptr<SearchJob> search_;
  std::unique_ptr<ReloadJob> reload_;
  std::unique_ptr<ExportJob> export_;
  QAction* exportAction_ = nullptr;
  bool listBusy_ = false;
  std::atomic<bool> busyStop_{false};
  QShortcut* escape_ = nullptr;
  QTimer* progressTimer_ = nullptr;

  QGroupBox* Frame2 = nullptr;
  std::array<QLineEdit*, kFilterBoxes> TxtSuche{};
  std::array<QCheckBox*, kFilterBoxes> ChkFilter{};
  ResultRowsModel* rowsModel_ = nullptr;
  ResultListView* ListView1 = nullptr;
  QLineEdit* TxtWahl = nullptr;
  QLabel* Picture1 = nullptr;
  QGroupBox* Frame1 = nullptr;
  std::array<QCheckBox*, kTypeBoxes> ChkSE{};
  QCheckBox* ChkSortiert = nullptr;
  QCheckBox* ChkUnter = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Text1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label6 = nullptr;
  QPushButton* CmdSuchen = nullptr;
  QPushButton* cmdSetze = nullptr;
  QPushButton* CmdEnde = nullptr;
  QListWidget* lstStatus = nullptr;
  QPlainTextEdit* TxtLogo = nullptr;
  QComboBox* Drive1 = nullptr;
  FolderPicker* Dir1 = nullptr;
  QWidget* picAltLinesBackground = nullptr;
};

}  // namespace fendrik
