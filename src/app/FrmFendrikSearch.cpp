// The search run of the main window: CmdSuchen_Click starts the walk and
// the reading of the documents in a thread of their own, the window shows
// the progress and stays usable, and FülleListView shows the rows when the
// thread is done. Also the list file as the window uses it.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <system_error>
#include <utility>

#include "app/AltLinesBackground.h"
#include "app/FrmFendrik.h"
#include "app/Messages.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/SearchJob.h"
#include "properties/platform/Files.h"
#include "search/ListFile.h"

namespace fendrik {

namespace {
// How often the progress display follows the reading.
constexpr int kProgressIntervalMs = 100;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// After a search: the folders it could not read, in one message, each with
// the reason.
void ShowUnreadFolders(QWidget* parent, const std::vector<FolderFailure>& folders) {
  if (folders.empty()) return;
  QStringList lines;
  for (const FolderFailure& folder : folders)
    lines << ShownText(folder.folder) + ": " + FromUtf8(platform::ErrorText(folder.error));
  const qsizetype count = lines.size();
  const QString lead = count == 1 ? QString::fromUtf8("Die Suche ist unvollständig: 1 Ordner konnte nicht gelesen "
                                                      "werden, seine Dokumente fehlen in der Liste:")
                                  : QString::fromUtf8("Die Suche ist unvollständig: %1 Ordner konnten nicht gelesen "
                                                      "werden, ihre Dokumente fehlen in der Liste:")
                                        .arg(count);
  ShowListMessage(parent, QMessageBox::Warning, "Fehler", lead, lines);
}
}  // namespace

void FrmFendrik::setListBusy(bool busy) {
  if (busy == listBusy_) return;
  listBusy_ = busy;
  if (busy) {
    busyStop_ = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  // Everything that would change the list or write into documents waits
  // until the run is over; the window itself keeps answering.
  for (QWidget* control : std::initializer_list<QWidget*>{CmdSuchen, cmdSetze, Frame2, ListView1})
    control->setEnabled(!busy);
  exportAction_->setEnabled(!busy);
  if (escape_ == nullptr) {
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape_->setObjectName("escape");
    connect(escape_, &QShortcut::activated, this, [this] { requestBusyStop(); });
  }
  escape_->setEnabled(busy);
}

void FrmFendrik::requestBusyStop() {
  if (!listBusy_) return;
  busyStop_ = true;
  if (search_) search_->cancel = true;
  if (reload_) reload_->stop = true;
  if (export_) export_->stop = true;
  TestLog("stop requested");
}

bool FrmFendrik::searchRunning() const { return search_ && search_->thread.joinable(); }

void FrmFendrik::CmdSuchen_Click() {
  if (listBusy_) return;
  // A new ScanList for this run; the previous run's goes with its job.
  search_ = std::make_unique<SearchJob>();
  SearchJob& job = *search_;
  setListBusy(true);

  // The folder text as it stands: on a case-sensitive file system a
  // lower-cased path would name another folder.
  job.request.folder = Text1->text().toStdString();
  for (int k = 1; k < kTypeBoxes; ++k) job.request.types.set(static_cast<size_t>(k - 1), ChkSE[k]->checkState() == Qt::Checked);
  job.request.includeSubfolders = ChkUnter->checkState() == Qt::Checked;
  job.request.sortedByName = ChkSortiert->checkState() == Qt::Checked;
  job.listFilePath = ListFilePath("0");

  startProgress();
  TestLog("search started");

  try {
    job.thread = std::thread([this, &job] { runSearchJob(job); });
  } catch (const std::system_error& error) {
    // No thread to be had: nothing has changed, and the window says so.
    progressTimer_->stop();
    setListBusy(false);
    ShowInformation(this, "Fehler", "Die Suche konnte nicht gestartet werden: " + FromUtf8(error.what()));
    TestLog("search not started");
  }
}

void FrmFendrik::runSearchJob(SearchJob& job) {
  SearchHooks hooks;
  hooks.cancel = &job.cancel;
  hooks.progress = [&job](size_t read, size_t total) {
    job.total.store(total, std::memory_order_relaxed);
    job.read.store(read, std::memory_order_relaxed);
  };
  hooks.folderError = [&job](const std::string& folder, platform::SystemError error) {
    FolderFailure failure{folder, error};
    if (LeavesSearchIncomplete(job.request, failure)) job.unreadFolders.push_back(std::move(failure));
  };
  try {
    RunSearch(job.request, job.scan, job.rows, hooks);
  } catch (const std::exception& error) {
    job.error = *error.what() != '\0' ? error.what() : "unbekannter Fehler";
  } catch (...) {
    job.error = "unbekannter Fehler";
  }
  // The list file holds the list as it is right after filling, also after
  // a stop by Esc; when the program ends meanwhile, or the search failed,
  // the old one stays.
  if (!job.closing && job.error.empty()) job.saved = SaveListView(job.rows, job.listFilePath);
  QMetaObject::invokeMethod(this, [this] { finishSearch(); }, Qt::QueuedConnection);
}

void FrmFendrik::startProgress() {
  if (progressTimer_ == nullptr) {
    progressTimer_ = new QTimer(this);
    connect(progressTimer_, &QTimer::timeout, this, [this] { showSearchProgress(); });
  }
  progressTimer_->start(kProgressIntervalMs);
}

void FrmFendrik::showSearchProgress() {
  if (export_) {
    Label6->setText(
        QString("%1 / %2").arg(export_->rowsDone.load(std::memory_order_relaxed)).arg(export_->rows.size()));
    return;
  }
  if (reload_) {
    Label6->setText(QString::number(reload_->rowsRead.load(std::memory_order_relaxed)));
    return;
  }
  if (!search_) return;
  const size_t total = search_->total.load(std::memory_order_relaxed);
  if (total == 0) return;
  Label6->setText(QString("%1 / %2").arg(search_->read.load(std::memory_order_relaxed)).arg(total));
}

void FrmFendrik::finishSearch() {
  if (!search_ || !search_->thread.joinable() || unloaded_) return;
  search_->thread.join();
  progressTimer_->stop();
  setListBusy(false);
  if (!search_->error.empty()) {
    // The list and the list file stay as they were before the search.
    ShowInformation(this, "Fehler", "Die Suche ist fehlgeschlagen: " + FromUtf8(search_->error));
    TestLog("search failed");
    return;
  }
  FülleListView();
  SetAltLinesBackground(*ListView1, *picAltLinesBackground);
  ShowUnreadFolders(this, search_->unreadFolders);
  if (!search_->saved.done())
    ShowInformation(this, "Fehler",
                    "Die Liste konnte nicht in die Datei " + FromUtf8(search_->listFilePath) +
                        " geschrieben werden: " + FromUtf8(search_->saved.reason));
  TestLog(QString("search finished: %1 rows").arg(rowsModel_->rowCount()));
}

void FrmFendrik::FülleListView() {
  // The rows come in ScanList order, or sorted by "Dateiname" ascending
  // when ChkSortiert was ticked at the start; the header shows that sort so
  // that the next click on it sorts the other way.
  const size_t count = search_->rows.size();
  rowsModel_->setRows(std::move(search_->rows));
  search_->rows = ResultRows();
  // The list's one direction flag stands on ascending then.
  if (search_->request.sortedByName) rowsModel_->markSorted(kFileNameColumn, true);
  Label6->setText(QString::number(count));
  ListView1->setFocus();
}

void FrmFendrik::stopSearch() {
  if (!search_) return;
  search_->stop();
  if (progressTimer_ != nullptr) progressTimer_->stop();
  setListBusy(false);
}

bool FrmFendrik::reloadListFile() {
  if (listBusy_) return false;
  // The list is emptied first, whatever the file holds.
  rowsModel_->setRows(ResultRows());
  ListView1->header()->setSortIndicatorShown(false);
  reload_ = std::make_unique<ReloadJob>();
  ReloadJob& job = *reload_;
  job.path = ListFilePath("0");
  setListBusy(true);
  startProgress();
  try {
    job.thread = std::thread([this, &job] {
      job.result = LoadListView(job.rows, job.path, [&job](size_t rows) {
        job.rowsRead.store(rows, std::memory_order_relaxed);
        return !job.stop.load();
      });
      QMetaObject::invokeMethod(this, [this] { finishReload(); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error& error) {
    reload_.reset();
    progressTimer_->stop();
    setListBusy(false);
    ShowInformation(this, "Fehler", "Die Liste konnte nicht geladen werden: " + FromUtf8(error.what()));
    return false;
  }
  return true;
}

bool FrmFendrik::reloadRunning() const { return reload_ && reload_->thread.joinable(); }

void FrmFendrik::finishReload() {
  if (!reloadRunning() || unloaded_) return;
  std::unique_ptr<ReloadJob> job = std::move(reload_);
  job->thread.join();
  progressTimer_->stop();
  setListBusy(false);
  const ListFileResult& result = job->result;
  const QString path = ShownText(job->path);
  rowsModel_->setRows(std::move(job->rows));
  if (result.outcome == ListFileResult::Outcome::Missing) {
    ShowInformation(this, "Fehler", "Die Datei " + path + " konnte nicht gefunden werden !");
  } else if (result.outcome == ListFileResult::Outcome::Failed) {
    ShowInformation(this, "Fehler", "Die Datei " + path + " konnte nicht gelesen werden: " + FromUtf8(result.reason));
  } else {
    Label6->setText(QString::number(rowsModel_->rowCount()));
    ListView1->show();
    ListView1->setFocus();
  }
  SetAltLinesBackground(*ListView1, *picAltLinesBackground);
  ClearFilters();
  TestLog(QString("list file reloaded: %1 rows").arg(rowsModel_->rowCount()));
  if (!result.refused.empty()) {
    QStringList lines;
    for (const std::string& line : result.refused) lines << QString::fromStdString(line);
    ShowListMessage(this, QMessageBox::Warning, "Fehler",
                    QString("In der Datei %1 wurden %2 Zeilen nicht gelesen:").arg(path).arg(lines.size()), lines);
  }
}

void FrmFendrik::stopReload() {
  if (!reload_) return;
  reload_.reset();  // stops the reading and waits for it
  if (progressTimer_ != nullptr) progressTimer_->stop();
  setListBusy(false);
}

}  // namespace fendrik
