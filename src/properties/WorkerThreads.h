#pragma once

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace fendrik {

// Starts up to `count` threads, thread k running work(k). When the system
// gives no further thread, those already started are all there is: work that
// hands out its items from a shared counter still does every item. Throws
// std::system_error only when not one thread could start. The threads are
// joined when the returned vector goes.
template <typename Work>
std::vector<std::jthread> StartWorkerThreads(size_t count, const Work& work) {
  std::vector<std::jthread> threads;
  threads.reserve(count);
  for (size_t k = 0; k < count; ++k) {
    try {
      threads.emplace_back(work, k);
    } catch (const std::system_error&) {
      if (threads.empty()) throw;
      break;
    }
  }
  return threads;
}

}  // namespace fendrik
