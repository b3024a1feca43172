#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <utility>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "search/FolderScan.h"

namespace fendrik {
namespace {

using test::TempFolder;

// The names of a folder in the order the file system gives them, read with
// the getdents64 system call itself rather than through readdir.
std::vector<std::string> RawOrder(const std::string& folder) {
  std::vector<std::string> names;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  alignas(8) char buffer[8192];
  long got;
  while ((got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0) {
    for (long at = 0; at < got;) {
      // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
      unsigned short length;
      std::memcpy(&length, buffer + at + 16, sizeof length);
      const std::string name(buffer + at + 19);
      if (name != "." && name != "..") names.push_back(name);
      at += length;
    }
  }
  ::close(fd);
  return names;
}

// Walks that must end: a scan that visits more folders than this is stopped
// (the test then fails) instead of running until memory is gone.
struct FolderLimit {
  int limit;
  int visited = 0;
  void operator()() {
    if (++visited > limit) throw std::runtime_error("the scan visited more than " + std::to_string(limit) + " folders");
  }
};

// Runs `action` with the rights of an ordinary user, for whom a folder of mode
// 0 cannot be listed: the super-user takes the user "nobody" as its effective
// user for the time of the call (its saved user stays root, to return).
template <typename Action>
void AsOrdinaryUser(const TempFolder& temp, Action action) {
  if (::geteuid() != 0) {
    action();
    return;
  }
  ::chmod(temp.str().c_str(), 0755);
  ASSERT_EQ(::setresuid(-1, 65534, 0), 0);
  action();
  ASSERT_EQ(::setresuid(-1, 0, 0), 0);
}

size_t CountEntriesEndingIn(const ScanList& list, const std::string& tail) {
  return static_cast<size_t>(std::count_if(list.begin(), list.end(), [&](const std::string& e) {
    return e.ends_with(tail);
  }));
}

TEST(FolderScan, WorkedExampleKeepsTheFileSystemOrder) {
  TempFolder temp;
  std::string d = temp.folder("d");
  temp.file("d/sub/b.par");
  temp.file("d/sub/c.asm");
  // Documents beside the subfolder until the file system's order has the
  // subfolder between documents and is not the order of the names either
  // way, so that neither a sorted walk nor one that lists subfolders first or
  // last could pass.
  std::vector<std::string> order;
  for (int k = 0;; ++k) {
    ASSERT_LT(k, 200) << "the file system keeps the names sorted";
    temp.file("d/f" + std::to_string(k) + ".par");
    order = RawOrder(d);
    const auto sub = std::find(order.begin(), order.end(), "sub");
    if (k < 3 || sub == order.begin() || sub + 1 == order.end()) continue;
    if (!std::is_sorted(order.begin(), order.end()) && !std::is_sorted(order.rbegin(), order.rend())) break;
  }

  ScanList expectedWith, expectedWithout;
  for (const std::string& name : order) {
    if (name == "sub") {
      expectedWith.push_back("    " + d + "/sub/b.par");
      expectedWithout.push_back(">>" + d + "/sub");
    } else {
      expectedWith.push_back("    " + d + "/" + name);
      expectedWithout.push_back("    " + d + "/" + name);
    }
  }
  ScanList with, without;
  ScanFolder(d, "PAR", with, true);
  ScanFolder(d, "PAR", without, false);
  EXPECT_EQ(with, expectedWith);
  EXPECT_EQ(without, expectedWithout);
}

TEST(FolderScan, AppendsBehindWhatTheListHolds) {
  TempFolder temp;
  temp.file("a.dft");
  ScanList list{"    earlier"};
  ScanFolder(temp.str(), "DFT", list, true);
  EXPECT_EQ(list, (ScanList{"    earlier", "    " + temp.str() + "/a.dft"}));
}

TEST(FolderScan, TrailingSeparatorMakesNoDifference) {
  TempFolder temp;
  temp.file("one/a.asm");
  temp.file("b.asm");
  temp.folder("empty");
  for (bool subfolders : {true, false}) {
    ScanList plain, withSeparator;
    ScanFolder(temp.str(), "ASM", plain, subfolders);
    ScanFolder(temp.str() + "/", "ASM", withSeparator, subfolders);
    EXPECT_EQ(plain, withSeparator);
    EXPECT_FALSE(plain.empty());
    for (const std::string& entry : plain) EXPECT_EQ(entry.find("//"), std::string::npos) << entry;
  }
}

TEST(FolderScan, MatchesTheUpperCasedNameEndWithoutLookingForADot) {
  TempFolder temp;
  for (const char* name : {"PAR", "WELLEPAR", "welle.par", "WELLE.PAR", "w.Par", "x.par.bak", "welle.pa", "ar", "welle.asm"})
    temp.file(name);
  temp.file("x.par/inner.par");
  ScanList list;
  ScanFolder(temp.str(), "PAR", list, true);
  std::vector<std::string> found;
  for (const std::string& entry : list) {
    ASSERT_TRUE(entry.starts_with("    " + temp.str() + "/")) << entry;
    found.push_back(entry.substr(4 + temp.str().size() + 1));
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"PAR", "WELLE.PAR", "WELLEPAR", "w.Par", "welle.par", "x.par/inner.par"}));

  // Without subfolders the folder named like a document is a folder entry only.
  ScanList flat;
  ScanFolder(temp.str(), "PAR", flat, false);
  EXPECT_EQ(std::count(flat.begin(), flat.end(), ">>" + temp.str() + "/x.par"), 1);
  EXPECT_EQ(CountEntriesEndingIn(flat, "x.par"), 1U);
  EXPECT_EQ(flat.size(), 6U);
}

TEST(FolderScan, KeepsTheFolderTextAsGiven) {
  TempFolder temp;
  temp.file("Daten/CAD/Welle.PSM");
  std::string folder = temp.str() + "/Daten/CAD";
  ScanList list;
  ScanFolder(folder, "PSM", list, true);
  EXPECT_EQ(list, (ScanList{"    " + folder + "/Welle.PSM"}));
}

TEST(FolderScan, MissingOrUnlistableFolderYieldsNothingButAReport) {
  TempFolder temp;
  std::vector<std::pair<std::string, int>> reports;
  auto report = [&](const std::string& folder, int error) { reports.emplace_back(folder, error); };
  ScanList list{"    kept"};
  ScanFolder(temp.str() + "/missing", "PAR", list, true, {}, report);
  ScanFolders(temp.file("plain.par"), TypeSelection().set(), true, list, {}, report);  // a file, not a folder
  EXPECT_EQ(list, ScanList{"    kept"});
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{temp.str() + "/missing/", ENOENT},
                                                               {temp.str() + "/plain.par/", ENOTDIR}}));

  reports.clear();
  temp.file("locked/hidden.par");
  temp.folder("locked too");
  ::chmod((temp.str() + "/locked").c_str(), 0);
  ::chmod((temp.str() + "/locked too").c_str(), 0);
  ScanList walk;
  AsOrdinaryUser(temp, [&] { ScanFolders(temp.str(), TypeSelection().set(), true, walk, {}, report); });
  ::chmod((temp.str() + "/locked").c_str(), 0700);
  ::chmod((temp.str() + "/locked too").c_str(), 0700);
  EXPECT_EQ(walk, ScanList{"    " + temp.str() + "/plain.par"});
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{temp.str() + "/locked too/", EACCES},
                                                               {temp.str() + "/locked/", EACCES}}));
}

TEST(FolderScan, FolderLinksAreFollowedButNeverBackIntoAnAncestor) {
  TempFolder temp;
  std::string root = temp.folder("root");
  temp.file("root/a.par");
  temp.file("root/sub/b.par");
  temp.link("root/sub/back", "..");  // leads to root
  temp.link("root/self", ".");
  temp.file("other/o.par");
  temp.link("other/up", "../root");  // reached through root/away, leads back to root
  temp.link("root/away", "../other");
  temp.link("root/dead.par", "nowhere");

  ScanList list;
  FolderLimit limit{100};
  ASSERT_NO_THROW(ScanFolder(root, "PAR", list, true, std::ref(limit)));
  std::vector<std::string> sorted(list);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"    " + root + "/a.par", "    " + root + "/away/o.par",
                                              "    " + root + "/dead.par", "    " + root + "/sub/b.par"}));

  // Without subfolders a link to a folder is recorded like a folder.
  ScanList flat;
  ScanFolder(root, "PAR", flat, false);
  EXPECT_EQ(std::count(flat.begin(), flat.end(), ">>" + root + "/away"), 1);
  EXPECT_EQ(std::count(flat.begin(), flat.end(), ">>" + root + "/self"), 1);
  EXPECT_EQ(std::count(flat.begin(), flat.end(), "    " + root + "/dead.par"), 1);
}

TEST(FolderScan, FolderReachedThroughSeveralLinksIsWalkedOnce) {
  // 24 levels, each with two links to the next: 2^24 paths to the last
  // folder, whose one document must give one entry.
  TempFolder temp;
  constexpr int kLevels = 24;
  for (int k = 0; k < kLevels; ++k) {
    temp.folder("level" + std::to_string(k));
    for (const char* name : {"/a", "/b"})
      temp.link("level" + std::to_string(k) + name, "../level" + std::to_string(k + 1));
  }
  temp.file("level" + std::to_string(kLevels) + "/deep.par");

  ScanList list;
  FolderLimit limit{1000};
  ASSERT_NO_THROW(ScanFolders(temp.str() + "/level0", TypeSelection().set(), true, list, std::ref(limit)));
  ASSERT_EQ(list.size(), 1U);
  EXPECT_TRUE(list[0].ends_with("/deep.par")) << list[0];
  // The start folder and each of the links is met once.
  EXPECT_EQ(limit.visited, 1 + 2 * kLevels);
}

TEST(FolderScan, CallsBackOncePerFolderVisited) {
  TempFolder temp;
  temp.file("a/b/x.par");
  temp.folder("c");
  int calls = 0;
  ScanList list;
  ScanFolder(temp.str(), "PAR", list, true, [&] { ++calls; });
  EXPECT_EQ(calls, 4);
  calls = 0;
  ScanFolders(temp.str(), TypeSelection().set(), false, list, [&] { ++calls; });
  EXPECT_EQ(calls, 1);
}

// A tree with every kind of entry that could make one walk for all types
// differ from one walk per type.
void BuildTrickyTree(const TempFolder& temp) {
  for (const char* name : {"PAR", "ASM", "a.asm", "b.PSM", "c.dft", "d.par", "e.txt", "f.par.bak", "gDFT", "h.Asm"})
    temp.file(std::string("root/") + name);
  temp.file("root/x.par/inner.asm");
  temp.file("root/x.par/deep/d1.dft");
  temp.file("root/x.par/deep/d2.par");
  temp.file("root/Mixed/Case.PSM");
  temp.file("root/Mixed/sub/z.dft");
  temp.folder("root/Mixed/empty");
  temp.link("root/Mixed/sub/loop", "../..");
  temp.file("outside/o.par");
  temp.file("outside/o.asm");
  temp.link("root/linked", "../outside");
  temp.link("root/broken.psm", "gone");
}

TEST(FolderScan, OneWalkForSeveralTypesEqualsOneWalkPerType) {
  TempFolder temp;
  BuildTrickyTree(temp);
  std::string root = temp.str() + "/root";
  for (bool subfolders : {true, false}) {
    for (unsigned bits = 0; bits < 16; ++bits) {
      TypeSelection types(bits);
      ScanList sequential{"    before"};
      for (int k = 0; k < kDocumentTypeCount; ++k)
        if (types.test(static_cast<size_t>(k))) {
          FolderLimit limit{100};
          ASSERT_NO_THROW(ScanFolder(root, kTypePatterns[k], sequential, subfolders, std::ref(limit)));
        }
      ScanList once{"    before"};
      FolderLimit limit{100};
      ASSERT_NO_THROW(ScanFolders(root, types, subfolders, once, std::ref(limit)));
      EXPECT_EQ(once, sequential) << "types " << types << " subfolders " << subfolders;
      if (types.none()) {
        EXPECT_EQ(once.size(), 1U);
      }
    }
  }
}

TEST(FolderScan, SeveralTypesComeInTypeOrder) {
  TempFolder temp;
  BuildTrickyTree(temp);
  std::string root = temp.str() + "/root";
  ScanList list;
  FolderLimit limit{100};
  ASSERT_NO_THROW(ScanFolders(root, TypeSelection().set(), true, list, std::ref(limit)));
  // Each entry's type rank (PAR 0 .. DFT 3) never decreases along the list.
  int previous = 0;
  for (const std::string& entry : list) {
    std::string upper = entry;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    int rank = -1;
    for (int k = 0; k < kDocumentTypeCount; ++k)
      if (upper.ends_with(kTypePatterns[k])) rank = k;
    ASSERT_GE(rank, previous) << entry;
    previous = rank;
  }
  EXPECT_EQ(CountEntriesEndingIn(list, "/PAR"), 1U);
  EXPECT_EQ(CountEntriesEndingIn(list, "/linked/o.asm"), 1U);
  EXPECT_EQ(CountEntriesEndingIn(list, "/Mixed/sub/z.dft"), 1U);
  EXPECT_EQ(list.size(), 16U);
}

TEST(DocumentTypes, ParsesTypeNamesInAnyCase) {
  EXPECT_EQ(ParseDocumentType("par"), DocumentType::Par);
  EXPECT_EQ(ParseDocumentType("Asm"), DocumentType::Asm);
  EXPECT_EQ(ParseDocumentType("PSM"), DocumentType::Psm);
  EXPECT_EQ(ParseDocumentType("dFt"), DocumentType::Dft);
  EXPECT_FALSE(ParseDocumentType("pa"));
  EXPECT_FALSE(ParseDocumentType("pars"));
  EXPECT_FALSE(ParseDocumentType(""));
}

}  // namespace
}  // namespace fendrik
