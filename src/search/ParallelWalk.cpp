#include "search/ParallelWalk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "properties/FileProperties.h"
#include "properties/WorkerThreads.h"
#include "resultlist/Columns.h"
#include "search/DocumentRow.h"
#include "search/DocumentTypes.h"
#include "search/FolderScan.h"
#include "search/ListFilling.h"

namespace fendrik {
namespace {

struct Folder;

// A found document: its file entry, and its row once a thread has read it.
struct Document {
  std::string entry;
  ReadResult result;
  bool read = false;
};

// One entry of a listed folder that the walk has to go through: a document,
// a subfolder, or a link whose target could not be examined (reported like a
// folder that cannot be read). Files that match no type are not kept.
struct Entry {
  enum class Kind : uint8_t { document, folder, unexamined };
  Kind kind = Kind::document;
  // For a document: which of the selected types it is.
  uint8_t type = 0;
  std::string name;
  platform::SystemError error;
  Folder* folder = nullptr;
  Document* document = nullptr;
};

struct Folder {
  enum class State : uint8_t {
    waiting,  // to be listed
    listing,  // a thread lists it
    listed,   // entries, identity and error are there
    claimed,  // listed, but its identity was claimed by another folder first
  };
  explicit Folder(std::string folderPath) : path(std::move(folderPath)) {}
  // With the system's separator behind.
  std::string path;
  // Its place in the walk: the places of it and its ancestors among their
  // parents' entries, from the start folder down.
  std::vector<uint32_t> order;
  State state = State::waiting;
  // Listed although its identity is claimed (invariant 2).
  bool again = false;
  // Whether the listing got far enough to know the folder's identity: it gave
  // an entry, or ended without error (as the one-thread walk counts it).
  bool known = false;
  platform::FileIdentity identity;
  platform::SystemError error;
  std::vector<Entry> entries;
};

// Folders in the order the walk comes to them (a folder before what is in
// it, and before the folders after it in its parent).
struct InWalkOrder {
  bool operator()(const Folder* a, const Folder* b) const {
    return std::lexicographical_compare(a->order.begin(), a->order.end(), b->order.begin(), b->order.end());
  }
};

// What a thread brings back from one folder, before it takes the lock.
struct Listing {
  platform::FileIdentity identity;
  platform::SystemError error;
  size_t count = 0;
  struct Item {
    std::string name;
    bool folder = false;
    platform::SystemError error;
    int type = -1;
  };
  std::vector<Item> items;
};

class ParallelSearch {
 public:
  ParallelSearch(const SearchRequest& request, const SearchHooks& hooks) : request_(request), hooks_(hooks) {
    for (int k = 0; k < kDocumentTypeCount; ++k)
      if (request.types.test(static_cast<size_t>(k))) patterns_[patternCount_++] = kTypePatterns[k];
  }

  size_t run(unsigned jobs, ScanList& scan, ResultRows& rows) {
    aheadLimit_ = kFoundAheadPerThread * std::max(jobs, 1U);
    scan.clear();
    rows.clear();
    if (patternCount_ == 0) return 0;
    Folder& root = folders_.emplace_back(WalkFolderPath(request_.folder));
    toList_.insert(&root);
    {
      std::vector<std::jthread> threads = StartWorkerThreads(jobs, [this](size_t) { work(); });
      try {
        walk(root);
      } catch (...) {
        fail(std::current_exception());
      }
      {
        std::lock_guard lock(mutex_);
        walkDone_ = true;
      }
      work_.notify_all();
    }  // every thread joined here
    if (problem_) std::rethrow_exception(problem_);

    size_t total = 0;
    for (size_t k = 0; k < patternCount_; ++k) total += inOrder_[k].size();
    scan.reserve(total);
    for (size_t k = 0; k < patternCount_; ++k) {
      for (Document* document : inOrder_[k]) {
        scan.push_back(std::move(document->entry));
        if (document->read) TakeDocumentRow(document->result, hooks_.failed, rows);
      }
    }
    if (request_.sortedByName) rows.sortByColumn(kFileNameColumn, true);
    return rows.size();
  }

 private:
  bool stopped() const {
    return failed_.load() || (hooks_.cancel != nullptr && hooks_.cancel->load(std::memory_order_relaxed));
  }

  // Keeps the first problem and stops everything (without the lock held).
  void fail(std::exception_ptr problem) {
    {
      std::lock_guard lock(mutex_);
      if (!problem_) problem_ = std::move(problem);
      failed_ = true;
    }
    work_.notify_all();
    walk_.notify_all();
  }

  // Wakes as many resting threads as there are new things to do.
  void wakeThreads(size_t tasks) {
    if (idle_ == 0 || tasks == 0) return;
    if (tasks >= idle_) {
      work_.notify_all();
      return;
    }
    for (size_t k = 0; k < tasks; ++k) work_.notify_one();
  }

  // One thread: lists folders while there are any to list, else reads the
  // next found document, until the walk is through and every document read.
  void work() {
    std::unique_ptr<FileProperties> server;
    try {
      server = FileProperties::Create();
    } catch (...) {
      fail(std::current_exception());
      return;
    }
    std::unique_lock lock(mutex_);
    try {
      const FactFormats formats;  // once per reading thread, not per row
      while (!stopped()) {
        const size_t unread = ready_.size() - nextReady_;
        if (!toList_.empty() && documents_.size() - nextReady_ < aheadLimit_) {
          Folder& folder = **toList_.begin();
          if (!listFolder(folder, lock)) break;
          if (&folder == awaited_) walk_.notify_one();
        } else if (unread > 0) {
          Document& document = *ready_[nextReady_++];
          // The listing may go on again.
          if (documents_.size() - nextReady_ + 1 == aheadLimit_ && !toList_.empty()) wakeThreads(1);
          lock.unlock();
          ReadDocumentRow(document.entry, *server, formats, document.result);
          lock.lock();
          document.read = true;
          ++read_;
          if (hooks_.progress) hooks_.progress(read_, ready_.size());
        } else if (walkDone_) {
          break;
        } else {
          ++idle_;
          work_.wait(lock);
          --idle_;
        }
      }
    } catch (...) {
      if (lock.owns_lock()) lock.unlock();
      fail(std::current_exception());
      return;
    }
    lock.unlock();
    // The walk may wait for a folder this thread would have listed.
    walk_.notify_all();
  }

  // Lists `folder`, which waits in toList_, without the lock held (`lock`
  // holds it before and after); false when the search stopped first.
  bool listFolder(Folder& folder, std::unique_lock<std::mutex>& lock) {
    if (hooks_.perFolder) hooks_.perFolder();
    if (stopped()) return false;
    toList_.erase(&folder);
    folder.state = Folder::State::listing;
    lock.unlock();
    Listing listing = list(folder.path);
    lock.lock();
    settle(folder, listing);
    return true;
  }

  Listing list(const std::string& path) const {
    Listing listing;
    listing.error = platform::ListFolder(path, listing.identity, [&](const platform::FolderEntry& entry) {
      ++listing.count;
      const bool folder = entry.kind == platform::Kind::folder;
      int type = -1;
      if (!folder && !entry.error) {
        for (size_t k = 0; k < patternCount_ && type < 0; ++k)
          if (NameEndsInPattern(entry.name, patterns_[k])) type = static_cast<int>(k);
        if (type < 0) return;
      }
      listing.items.push_back({std::string(entry.name), folder, folder ? platform::SystemError{} : entry.error, type});
    });
    return listing;
  }

  // Takes a listing into the tree (under the lock): its subfolders go to the
  // listing threads, which take the folders in the walk's own order, so that
  // the listing runs just ahead of the walk.
  void settle(Folder& folder, Listing& listing) {
    folder.identity = listing.identity;
    folder.error = listing.error;
    folder.known = listing.count > 0 || !listing.error;
    if (folder.known && !claimed_.insert(listing.identity).second && !folder.again) {
      folder.state = Folder::State::claimed;
      return;
    }
    folder.entries.reserve(listing.items.size());
    const size_t listedBefore = toList_.size();
    for (Listing::Item& item : listing.items) {
      Entry& entry = folder.entries.emplace_back();
      entry.name = std::move(item.name);
      if (item.folder) {
        entry.kind = Entry::Kind::folder;
        entry.folder = &folders_.emplace_back(folder.path + entry.name + platform::kPathSeparator);
        entry.folder->order = folder.order;
        entry.folder->order.push_back(static_cast<uint32_t>(folder.entries.size() - 1));
        toList_.insert(entry.folder);
      } else if (item.error) {
        entry.kind = Entry::Kind::unexamined;
        entry.error = item.error;
      } else {
        entry.type = static_cast<uint8_t>(item.type);
        entry.document = &documents_.emplace_back();
        entry.document->entry.append(kFileEntryIndent).append(folder.path).append(entry.name);
      }
    }
    folder.state = Folder::State::listed;
    wakeThreads(toList_.size() - listedBefore);
  }

  // Waits until `folder` is listed; false when the search stops first.
  bool waitFor(Folder& folder) {
    std::unique_lock lock(mutex_);
    handOver();
    awaited_ = &folder;
    for (;;) {
      if (stopped()) return false;
      if (folder.state == Folder::State::listed) return true;
      if (folder.state == Folder::State::claimed) {
        if (seen_.contains(folder.identity)) return false;
        // Met before the folder that claimed it: listed again by this path.
        folder.state = Folder::State::waiting;
        folder.again = true;
        folder.entries.clear();
        toList_.insert(&folder);
      }
      if (folder.state == Folder::State::waiting) {
        // The walk can go no further without it, and no thread has taken
        // it yet: the walk lists it itself rather than wait for a thread.
        if (!listFolder(folder, lock)) return false;
        continue;
      }
      // A thread lists it. A stop from outside wakes nobody, so look again
      // now and then.
      walk_.wait_for(lock, std::chrono::milliseconds(50));
    }
  }

  // Goes through the folders depth-first, in the order of the one-thread
  // walk, as their listings arrive: reports what cannot be read, puts the
  // documents in order and hands them to the threads. A stop ends it; what
  // it has not put in place was not read.
  void walk(Folder& root) {
    struct Place {
      Folder* folder;
      size_t next;
    };
    std::vector<Place> stack;
    auto enter = [&](Folder& folder) {
      // Not listed: a folder met before, or the search stopped first.
      if (!waitFor(folder)) return;
      if (folder.known && !seen_.insert(folder.identity).second) return;
      if (folder.error) report(folder.path, folder.error);
      stack.push_back({&folder, 0});
    };
    enter(root);
    while (!stack.empty() && !stopped()) {
      Place& top = stack.back();
      if (top.next == top.folder->entries.size()) {
        top.folder->entries = std::vector<Entry>();
        stack.pop_back();
        continue;
      }
      Entry& entry = top.folder->entries[top.next++];
      switch (entry.kind) {
        case Entry::Kind::document:
          inOrder_[entry.type].push_back(entry.document);
          released_.push_back(entry.document);
          if (released_.size() == kReleaseBatch) release();
          break;
        case Entry::Kind::folder:
          enter(*entry.folder);  // may add to stack: `top` is not used after this
          break;
        case Entry::Kind::unexamined:
          report(top.folder->path + entry.name + platform::kPathSeparator, entry.error);
          break;
      }
    }
    release();
  }

  // Gives the documents put in place so far to the threads (under the lock).
  void handOver() {
    if (released_.empty()) return;
    ready_.insert(ready_.end(), released_.begin(), released_.end());
    wakeThreads(released_.size());
    released_.clear();
  }

  void release() {
    std::lock_guard lock(mutex_);
    handOver();
  }

  void report(const std::string& folder, const platform::SystemError& error) const {
    if (hooks_.folderError) hooks_.folderError(folder, error);
  }

  // How far the listing runs ahead of the reading: the threads list folders
  // while fewer documents than this wait to be read (put in place or not),
  // and read otherwise; the folder the walk waits for is always listed. So
  // a document is read soon after its folder was listed, while a share's
  // client still knows the folder's name (on a share a look-up of a name
  // the client has forgotten is one more round trip per document), and a
  // stop keeps documents from all over the part of the tree already walked.
  static constexpr size_t kFoundAheadPerThread = 16;
  size_t aheadLimit_ = 0;

  const SearchRequest& request_;
  const SearchHooks& hooks_;
  std::array<std::string_view, kDocumentTypeCount> patterns_{};
  size_t patternCount_ = 0;

  std::mutex mutex_;
  // The threads rest on work_ (idle_ of them), the walk on walk_.
  std::condition_variable work_;
  std::condition_variable walk_;
  size_t idle_ = 0;
  // Under mutex_: the tree as far as it is known, the folders still to list
  // (in the walk's order), the documents in the order they were found.
  std::deque<Folder> folders_;
  std::set<Folder*, InWalkOrder> toList_;
  // The folder the walk asks about last: it is woken when that one is listed.
  Folder* awaited_ = nullptr;
  std::deque<Document> documents_;
  // The documents the walk has put in their places, for the threads to
  // read in that order: only these are read, so every document read gives a
  // row, and the count of them is the search's count so far.
  std::vector<Document*> ready_;
  size_t nextReady_ = 0;
  size_t read_ = 0;
  std::set<platform::FileIdentity> claimed_;
  bool walkDone_ = false;
  std::exception_ptr problem_;
  std::atomic<bool> failed_{false};

  // The walk's own (calling thread): identities gone through, in walk order,
  // as the one-thread walk keeps them; the documents of each type in order.
  std::set<platform::FileIdentity> seen_;
  std::array<std::vector<Document*>, kDocumentTypeCount> inOrder_;
  // Put in place but not yet handed to the threads (release()).
  std::vector<Document*> released_;
  static constexpr size_t kReleaseBatch = 256;
};

}  // namespace

size_t WalkAndReadInParallel(const SearchRequest& request, unsigned jobs, ScanList& scan, ResultRows& rows,
                             const SearchHooks& hooks) {
  return ParallelSearch(request, hooks).run(jobs, scan, rows);
}

}  // namespace fendrik
