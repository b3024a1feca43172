#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempFolder.h"

namespace fendrik::test {

// Runs `action` with the rights of an ordinary user, who cannot list a folder of
// mode 0: the super-user is "nobody" for the call (its saved user stays root).
template <typename Action>
void AsOrdinaryUser(const TempFolder& temp, Action action) {
  if (::geteuid() != 0) return action();
  ::chmod(temp.str().c_str(), 0755);
  ASSERT_EQ(::setresuid(-1, 65534, 0), 0);
  action();
  ASSERT_EQ(::setresuid(-1, 0, 0), 0);
}

}  // namespace fendrik::test
