// The export of the list: "Liste exportieren…" asks for a file in a save
// dialog, copies the rows the list shows and writes them off the
// user-interface thread into an Excel workbook or CSV, while the window
// shows the progress.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <system_error>

#include "app/FrmFendrik.h"
#include "app/Messages.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/SearchJob.h"
#include "search/ExportFile.h"
#include "search/ListFile.h"

namespace fendrik {

namespace {

const char* const kTitle = "Liste exportieren";
const char* const kXlsxFilter = "Excel-Arbeitsmappe (*.xlsx)";
const char* const kCsvFilter = "CSV (*.csv)";

// The save dialog: Qt's own on every system (the system's dialogs differ and
// cannot be driven alike), with German labels. The name's extension chooses
// the format; a name without one gets the chosen filter's. Another
// extension is refused, and an existing file is replaced only when the user
// says so, both while the dialog stays open.
class ExportDialog : public QFileDialog {
 public:
  explicit ExportDialog(QWidget* parent) : QFileDialog(parent, QString::fromUtf8(kTitle)) {
    setObjectName("exportDialog");
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilters({QString::fromUtf8(kXlsxFilter), QString::fromUtf8(kCsvFilter)});
    setDefaultSuffix("xlsx");
    connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
      setDefaultSuffix(filter == QString::fromUtf8(kCsvFilter) ? "csv" : "xlsx");
    });
    setLabelText(QFileDialog::LookIn, "Suchen in:");
    setLabelText(QFileDialog::FileName, "Dateiname:");
    setLabelText(QFileDialog::FileType, "Dateityp:");
    setLabelText(QFileDialog::Accept, "Speichern");
    setLabelText(QFileDialog::Reject, "Abbrechen");
    const std::string documents = GetSpecialFolderPath(kDocumentsFolderId);
    if (documents != kFolderNotDefined) setDirectory(QString::fromStdString(documents));
    selectFile("Liste.xlsx");
  }

  void accept() override {
    const QStringList files = selectedFiles();
    if (files.size() == 1) {
      const QFileInfo chosen(files.first());
      if (!chosen.isDir() && !ExportFormatOf(files.first().toStdString())) {
        ShowMessageBox(this, QMessageBox::Warning, QString::fromUtf8(kTitle),
                       QString::fromUtf8("Der Dateiname muss auf .xlsx (Excel-Arbeitsmappe) oder .csv (CSV) enden."));
        return;
      }
      if (chosen.exists() && !chosen.isDir() &&
          !AskYesNo(this, QString::fromUtf8(kTitle),
                    QString::fromUtf8("Die Datei %1 gibt es schon. Soll sie ersetzt werden?")
                        .arg(QDir::toNativeSeparators(chosen.absoluteFilePath()))))
        return;
    }
    QFileDialog::accept();
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QFileDialog::showEvent(event);
    // The name is what the user types first.
    if (auto* name = findChild<QLineEdit*>("fileNameEdit")) {
      QTimer::singleShot(0, name, [name] {
        name->setFocus(Qt::OtherFocusReason);
        name->selectAll();
      });
    }
  }
};

}  // namespace

bool FrmFendrik::exportRunning() const { return export_ && export_->thread.joinable(); }

void FrmFendrik::exportList() {
  if (listBusy_) return;
  if (rowsModel_->rows().empty()) {
    ShowInformation(this, QString::fromUtf8(kTitle), QString::fromUtf8("Die Liste ist leer, es gibt nichts zu exportieren."));
    return;
  }
  ExportDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  // Qt writes "/" on every system; the program's paths carry the system's separator.
  startExport(QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString());
}

void FrmFendrik::startExport(const std::string& path) {
  export_ = std::make_unique<ExportJob>();
  ExportJob& job = *export_;
  job.path = path;
  // The rows as the list shows them now; the thread writes its own copy.
  job.rows = rowsModel_->rows().copy();
  setListBusy(true);
  TxtWahl->setText(QString::fromUtf8("Die Liste wird exportiert nach ") + ShownText(path) + QString::fromUtf8(" …"));
  Label6->setText(QString("0 / %1").arg(job.rows.size()));
  startProgress();
  TestLog("export started");
  try {
    job.thread = std::thread([this, &job] {
      try {
        job.result = ExportRows(job.rows, job.path, [&job](size_t rows) {
          job.rowsDone.store(rows, std::memory_order_relaxed);
          return !job.stop.load();
        });
      } catch (const std::exception& error) {
        job.result = {ExportResult::Outcome::Failed, error.what()};
      }
      QMetaObject::invokeMethod(this, [this] { finishExport(); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error& error) {
    // No thread to be had: nothing is written, and the window says so.
    export_.reset();
    progressTimer_->stop();
    setListBusy(false);
    TxtWahl->clear();
    Label6->setText(QString::number(rowsModel_->rowCount()));
    ShowMessageBox(this, QMessageBox::Critical, "Fehler",
                   QString::fromUtf8("Der Export konnte nicht gestartet werden: ") + QString::fromLocal8Bit(error.what()));
  }
}

void FrmFendrik::finishExport() {
  if (!exportRunning() || unloaded_) return;
  std::unique_ptr<ExportJob> job = std::move(export_);
  job->thread.join();
  progressTimer_->stop();
  setListBusy(false);
  Label6->setText(QString::number(rowsModel_->rowCount()));
  const QString path = ShownText(job->path);
  switch (job->result.outcome) {
    case ExportResult::Outcome::Done:
      TxtWahl->setText(QString::fromUtf8("Liste exportiert: %1 Zeilen nach %2").arg(job->rows.size()).arg(path));
      break;
    case ExportResult::Outcome::Stopped:
      TxtWahl->setText(QString::fromUtf8("Export abgebrochen, %1 ist unverändert").arg(path));
      break;
    case ExportResult::Outcome::Failed:
      TxtWahl->clear();
      ShowMessageBox(this, QMessageBox::Critical, "Fehler",
                     QString::fromUtf8("Die Liste konnte nicht nach %1 exportiert werden: %2")
                         .arg(path, QString::fromStdString(job->result.reason)));
      break;
  }
  TestLog(QString("export ended: %1").arg(TxtWahl->text()));
}

void FrmFendrik::stopExport() {
  if (!export_) return;
  export_.reset();  // stops the writing and waits for it; the file stays as it was
  if (progressTimer_ != nullptr) progressTimer_->stop();
  setListBusy(false);
}

}  // namespace fendrik
