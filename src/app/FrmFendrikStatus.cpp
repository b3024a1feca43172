// The status change: writes the chosen status into every document the list
// shows, in display order, off the user-interface thread, and reports the
// documents it could not write at the end.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <system_error>
#include <thread>
#include <vector>

#include "app/FrmFendrik.h"
#include "app/Messages.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "properties/StatusRun.h"
#include "properties/StorageError.h"
#include "resultlist/Columns.h"

namespace fendrik {

struct FrmFendrik::StatusChangeRun {
  // The paths to write, and the list row of each.
  std::vector<std::string> paths;
  std::vector<int> rows;
  // Rows listed when the run began, those refused before it included.
  size_t listed = 0;
  int16_t code = 0;
  size_t written = 0;
  // "path: number / description" of every document that failed: those known
  // to be as they were, and those that may have been changed.
  QStringList failed;
  QStringList mayBeChanged;
  // A failure before any document (no server could be made).
  QString startError;
  std::jthread thread;
};

void FrmFendrik::StatusChangeRunEnd::operator()(StatusChangeRun* run) const {
  // The jthread asks the run to stop and waits for it.
  delete run;
}

namespace {
// The chosen status code, -1 when no entry is chosen.
int ChosenStatus(const QListWidget& list) {
  const auto chosen = list.selectionModel()->selectedIndexes();
  return chosen.isEmpty() ? -1 : chosen.first().row();
}
}  // namespace

void FrmFendrik::cmdSetze_Click() {
  if (listBusy_) return;
  const int code = ChosenStatus(*lstStatus);
  if (code < 0) {
    ShowMessageBox(this, QMessageBox::Critical, QString::fromUtf8("Fehler in Status ändern"),
                   QString::fromUtf8("Neuen Status wählen!"));
    return;
  }
  const ResultRows& rows = rowsModel_->rows();
  auto run = std::unique_ptr<StatusChangeRun, StatusChangeRunEnd>(new StatusChangeRun);
  run->code = static_cast<int16_t>(code);
  run->listed = rows.size();
  run->paths.reserve(rows.size());
  run->rows.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    // A path that may not name the listed document's file is never
    // written: the status could land in another document.
    if (rows.pathUncertain(i)) {
      run->failed << ShownText(rows.text(i, 0)) +
                         QString::fromUtf8(": der Pfad stammt aus einer älteren Listendatei in Windows-1252 und "
                                           "benennt die Datei vielleicht nicht genau; bitte neu suchen");
      continue;
    }
    run->paths.emplace_back(rows.text(i, 0));
    run->rows.push_back(static_cast<int>(i));
  }
  if (run->paths.empty()) {
    TxtWahl->clear();
    Label6->clear();
    if (!run->failed.isEmpty()) {
      statusRun_ = std::move(run);
      statusChangeEnded();
    }
    return;
  }

  statusRun_ = std::move(run);
  setListBusy(true);
  TxtWahl->setText(ShownText(statusRun_->paths.front()));
  Label6->setText(QString("1 / %1").arg(statusRun_->paths.size()));

  StatusChangeRun* job = statusRun_.get();
  auto work = [this, job](std::stop_token stop) {
    // Reports go to the window's thread as queued calls; they are dropped
    // when the window is gone.
    auto report = [this](size_t index, const StatusOutcome& outcome) {
      QMetaObject::invokeMethod(
          this,
          [this, index, written = outcome.written, unchanged = outcome.unchanged, number = outcome.number,
           description = ShownText(outcome.description)] {
            statusDocumentDone(index, written, unchanged, number, description);
          },
          Qt::QueuedConnection);
    };
    QString startError;
    try {
      WriteStatusOfDocuments(job->paths, job->code, kDefaultStatusWorkers, stop, report);
    } catch (const StorageError& error) {
      startError = QString::number(error.number()) + " / " + QString::fromStdString(error.description());
    } catch (const std::exception& error) {
      startError = QString::fromLocal8Bit(error.what());
    }
    QMetaObject::invokeMethod(
        this,
        [this, job, startError] {
          if (statusRun_.get() != job) return;
          job->startError = startError;
          statusChangeEnded();
        },
        Qt::QueuedConnection);
  };
  try {
    job->thread = std::jthread(work);
  } catch (const std::system_error& error) {
    // No thread to be had: no document is touched, and the window says so.
    statusRun_.reset();
    TxtWahl->clear();
    Label6->clear();
    setListBusy(false);
    ShowMessageBox(this, QMessageBox::Critical, QString::fromUtf8("Fehler in Status ändern"),
                   QString::fromUtf8("Der Status wurde in kein Dokument geschrieben: ") +
                       QString::fromLocal8Bit(error.what()));
  }
}

void FrmFendrik::statusDocumentDone(size_t index, bool written, bool unchanged, int number,
                                    const QString& description) {
  StatusChangeRun* run = statusRun_.get();
  if (run == nullptr || index >= run->paths.size()) return;
  const QString path = ShownText(run->paths[index]);
  if (written) {
    ++run->written;
    rowsModel_->setText(run->rows[index], kStatusColumn, std::to_string(run->code));
  } else {
    (unchanged ? run->failed : run->mayBeChanged) << path + ": " + QString::number(number) + " / " + description;
  }
  // Esc: the documents in hand are finished, no further one is begun.
  if (busyStop_) run->thread.request_stop();
  // The progress names the document that is being written next.
  const size_t next = index + 1;
  if (next < run->paths.size()) {
    TxtWahl->setText(ShownText(run->paths[next]));
    Label6->setText(QString("%1 / %2").arg(next + 1).arg(run->paths.size()));
  }
}

void FrmFendrik::statusChangeEnded() {
  auto run = std::move(statusRun_);
  if (!run) return;
  if (run->thread.joinable()) run->thread.join();
  TxtWahl->clear();
  Label6->clear();
  setListBusy(false);
  const qsizetype total = static_cast<qsizetype>(run->listed);
  const qsizetype tried = static_cast<qsizetype>(run->written) + run->failed.size() + run->mayBeChanged.size();
  TestLog(QString("status change ended: %1 of %2 written").arg(run->written).arg(total));
  if (!run->startError.isEmpty()) {
    ShowMessageBox(this, QMessageBox::Critical, QString::fromUtf8("Fehler in Status ändern"),
                   QString::fromUtf8("Der Status wurde in kein Dokument geschrieben: ") + run->startError);
  } else if (run->failed.isEmpty() && run->mayBeChanged.isEmpty() && tried < total) {
    ShowMessageBox(this, QMessageBox::Information, QString::fromUtf8("Fehler in Status ändern"),
                   QString::fromUtf8("Abgebrochen: der Status wurde in %1 von %2 Dokumenten geschrieben.")
                       .arg(run->written)
                       .arg(total));
  } else if (!run->failed.isEmpty() || !run->mayBeChanged.isEmpty()) {
    // Documents are called unchanged only where that is known; the others
    // are named apart, so that the user looks at them.
    QString text =
        QString::fromUtf8("Der Status wurde in %1 von %2 Dokumenten geschrieben.").arg(run->written).arg(total);
    QStringList details;
    auto group = [&](const QStringList& lines, const char* heading) {
      if (lines.isEmpty()) return;
      const QString title = QString::fromUtf8(heading).arg(lines.size());
      const bool first = details.isEmpty();
      text += QString(first ? "\n" : "\n\n") + title + "\n\n" + ListExcerpt(lines);
      if (!first) details << "" << title;
      details << lines;
    };
    group(run->failed, "%1 Dokumente konnten nicht geschrieben werden und sind unverändert:");
    group(run->mayBeChanged, "%1 Dokumente konnten nicht geschrieben werden und sind möglicherweise verändert:");
    ShowMessageBox(this, QMessageBox::Warning, QString::fromUtf8("Fehler in Status ändern"), text, details.join('\n'));
  }
}

void FrmFendrik::stopStatusChange() {
  auto run = std::move(statusRun_);
  if (!run) return;
  run->thread.request_stop();
  run->thread.join();
  setListBusy(false);
}

}  // namespace fendrik
