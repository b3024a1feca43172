#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "resultlist/ResultRows.h"
#include "search/ExportFile.h"
#include "search/ListFile.h"
#include "search/ScanList.h"
#include "search/SearchRun.h"

namespace fendrik {

// One search of the window, run by a thread of its own: the walk, the
// reading of the documents and the writing of the list file. The window
// reads `read` and `total` for its progress display and takes the rows when
// the thread is done. The ScanList of the last search stays here until the
// next one starts.
struct SearchJob {
  SearchRequest request;
  std::string listFilePath;
  ScanList scan;
  ResultRows rows;
  ListFileResult saved;
  // What stopped the search before its rows were complete; empty when it ran.
  std::string error;
  // The folders the walk could not read, so that documents in them may be
  // missing from the rows (LeavesSearchIncomplete); the window names them
  // after the search.
  std::vector<FolderFailure> unreadFolders;
  std::atomic<bool> cancel{false};
  // Set when the program ends during the search: no list file is written.
  std::atomic<bool> closing{false};
  std::atomic<size_t> read{0};
  std::atomic<size_t> total{0};
  std::thread thread;

  SearchJob() = default;
  SearchJob(const SearchJob&) = delete;
  SearchJob& operator=(const SearchJob&) = delete;
  // Stops a search still running and waits for its thread.
  ~SearchJob() { stop(); }

  void stop() {
    closing = true;
    cancel = true;
    if (thread.joinable()) thread.join();
  }
};

// One reload of the list file, read by a thread of its own so that a long
// list never stops the window; the window shows `rowsRead` meanwhile and
// takes the rows when the thread is done.
struct ReloadJob {
  std::string path;
  ResultRows rows;
  ListFileResult result;
  std::atomic<bool> stop{false};
  std::atomic<size_t> rowsRead{0};
  std::thread thread;

  ReloadJob() = default;
  ReloadJob(const ReloadJob&) = delete;
  ReloadJob& operator=(const ReloadJob&) = delete;
  ~ReloadJob() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
};

// One export of the list, written by a thread of its own from a copy of the
// rows, so that the list may change meanwhile without touching what is
// written; the window shows `rowsDone` and takes the result when the thread
// is done.
struct ExportJob {
  std::string path;
  ResultRows rows;
  ExportResult result;
  std::atomic<bool> stop{false};
  std::atomic<size_t> rowsDone{0};
  std::thread thread;

  ExportJob() = default;
  ExportJob(const ExportJob&) = delete;
  ExportJob& operator=(const ExportJob&) = delete;
  // Stops an export still running (its file stays as it was) and waits.
  ~ExportJob() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
};

}  // namespace fendrik
