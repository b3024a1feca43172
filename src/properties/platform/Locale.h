#pragma once

// The C library's regional settings for numbers, per thread. The window's
// toolkit takes the user's settings for the whole process at start-up, so
// that a German system makes printf write "0,5"; a file format that wants
// "0.5" (the numbers inside an Excel workbook, written by a library with
// printf) is written under ClassicNumbersInThisThread.

namespace fendrik::platform {

// While it lives, the calling thread formats and reads numbers with the C
// library's classic rules (a decimal point, no grouping); other threads
// keep the process's settings. The destructor restores the thread's own.
// Create and destroy it on the same thread.
class ClassicNumbersInThisThread {
 public:
  ClassicNumbersInThisThread();
  ~ClassicNumbersInThisThread();
  ClassicNumbersInThisThread(const ClassicNumbersInThisThread&) = delete;
  ClassicNumbersInThisThread& operator=(const ClassicNumbersInThisThread&) = delete;

  // False when the system refused the change (the thread's numbers follow
  // the process's settings then).
  bool active() const { return active_; }

 private:
  bool active_ = false;
  // POSIX: the thread's locale before and the one made for it
  // (locale_t). Windows: the thread's locale mode before, and the name of
  // its numeric locale before, when the thread had its own already.
  void* previous_ = nullptr;
  void* own_ = nullptr;
  int previousMode_ = 0;
  char previousName_[128] = {};
};

}  // namespace fendrik::platform
