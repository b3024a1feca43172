// The folder walk: file-system order, which names match, links, folders that
// cannot be listed, trees deeper than the files a process may open, and one
// walk for several types.
#include "search/FolderScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "OrdinaryUser.h"

namespace fendrik {
namespace {

using test::TempFolder;
using Strings = std::vector<std::string>;

// Walks that must end: a scan that visits more folders than `limit` is stopped
// (the test then fails) instead of running until memory is gone.
std::function<void()> Limit(int& visited, int limit) {
  return [&visited, limit] { if (++visited > limit) throw std::runtime_error("the scan does not end"); };
}

TEST(FolderScan, KeepsTheFileSystemOrderAndAppendsBehindTheList) {
  TempFolder temp;
  const std::string d = temp.folder("d");
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
    order.clear();
    for (const auto& entry : std::filesystem::directory_iterator(d)) order.push_back(entry.path().filename());
    const auto sub = std::find(order.begin(), order.end(), "sub");
    if (k >= 3 && sub != order.begin() && sub + 1 != order.end() && !std::is_sorted(order.begin(), order.end()) &&
        !std::is_sorted(order.rbegin(), order.rend()))
      break;
  }
  ScanList expectedWith{"    earlier"}, expectedWithout{"    earlier"}, with{"    earlier"}, without{"    earlier"};
  for (const std::string& name : order) {
    expectedWith.push_back("    " + d + "/" + (name == "sub" ? "sub/b.par" : name));
    expectedWithout.push_back((name == "sub" ? ">>" : "    ") + d + "/" + name);
  }
  ScanFolder(d, "PAR", with, true);
  ScanFolder(d, "PAR", without, false);
  EXPECT_EQ(with, expectedWith);
  EXPECT_EQ(without, expectedWithout);
}

TEST(FolderScan, MissingOrUnlistableFolderYieldsNothingButAReport) {
  TempFolder temp;
  std::vector<std::pair<std::string, int>> reports;
  auto report = [&](const std::string& folder, int error) { reports.emplace_back(folder, error); };
  ScanList list{"    kept"};
  ScanFolder(temp.str() + "/missing", "PAR", list, true, {}, report);
  ScanFolders(temp.file("plain.par"), TypeSelection().set(), true, list, {}, report);  // a file, not a folder
  temp.file("locked/hidden.par");
  temp.folder("locked too");
  for (const char* locked : {"/locked", "/locked too"}) ::chmod((temp.str() + locked).c_str(), 0);
  test::AsOrdinaryUser(temp, [&] { ScanFolders(temp.str(), TypeSelection().set(), true, list, {}, report); });
  for (const char* locked : {"/locked", "/locked too"}) ::chmod((temp.str() + locked).c_str(), 0700);
  EXPECT_EQ(list, (ScanList{"    kept", "    " + temp.str() + "/plain.par"}));
  std::sort(reports.begin() + 2, reports.end());
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{temp.str() + "/missing/", ENOENT},
                                                               {temp.str() + "/plain.par/", ENOTDIR},
                                                               {temp.str() + "/locked too/", EACCES},
                                                               {temp.str() + "/locked/", EACCES}}));
}

TEST(FolderScan, FolderLinksAreFollowedButNeverBackIntoAnAncestor) {
  TempFolder temp;
  const std::string root = temp.folder("root");
  temp.file("root/a.par");
  temp.file("root/sub/b.par");
  temp.file("other/o.par");
  temp.link("root/sub/back", "..");  // leads to root
  temp.link("root/self", ".");
  temp.link("other/up", "../root");  // reached through root/away, leads back to root
  temp.link("root/away", "../other");
  temp.link("root/dead.par", "nowhere");
  ScanList list;
  int visited = 0;
  ASSERT_NO_THROW(ScanFolder(root, "PAR", list, true, Limit(visited, 100)));
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (ScanList{"    " + root + "/a.par", "    " + root + "/away/o.par", "    " + root + "/dead.par",
                            "    " + root + "/sub/b.par"}));
  // Without subfolders a link to a folder is recorded like a folder.
  ScanList flat;
  ScanFolder(root, "PAR", flat, false);
  for (const std::string& entry : {">>" + root + "/away", ">>" + root + "/self", "    " + root + "/dead.par"})
    EXPECT_EQ(std::count(flat.begin(), flat.end(), entry), 1) << entry;

  // 24 levels, each with two links to the next: 2^24 paths to the last
  // folder, whose one document must give one entry; the start folder and
  // each link is met once.
  for (int k = 0; k < 24; ++k)
    for (const char* name : {"/a", "/b"})
      temp.link("level" + std::to_string(k) + name, "../level" + std::to_string(k + 1));
  temp.file("level24/deep.par");
  ScanList deep;
  visited = 0;
  ASSERT_NO_THROW(ScanFolders(temp.str() + "/level0", TypeSelection().set(), true, deep, Limit(visited, 1000)));
  ASSERT_EQ(deep.size(), 1U);
  EXPECT_TRUE(deep[0].ends_with("/deep.par")) << deep[0];
  EXPECT_EQ(visited, 1 + 2 * 24);
}

// A path in a chain of folders "d" below `top` as the number of levels and
// the rest, short enough to read in a failure: "2000/level2000.par".
std::string Levels(const std::string& top, std::string path) {
  path.erase(0, top.size());
  size_t levels = 0;
  for (; path.starts_with("/d/"); ++levels) path.erase(0, 2);
  return std::to_string(levels) + path;
}

// 3,000 levels, far more than the files the process may open: every document
// whose path the system can open is listed, in walk order, and the first
// folder whose path is too long for the system is reported as such, once.
TEST(FolderScan, DeepTreeIsWalkedWithFewOpenFilesAndATooLongPathIsReported) {
  TempFolder temp;
  const std::string top = temp.str() + "/deep";
  std::vector<int> withFile;
  for (int level = 0; level < 3000; level += 250) withFile.push_back(level);
  withFile.push_back(2999);
  const std::vector<std::string> documents = temp.chain("deep", "d", 3000, withFile);
  Strings expected, listed, reported;
  for (const std::string& document : documents)
    if (document.rfind('/') + 1 < PATH_MAX) expected.push_back(Levels(top, document));
  ASSERT_GE(expected.size(), 5U);
  ASSERT_LT(expected.size(), documents.size());
  std::string tooLong = top + "/d/";
  while (tooLong.size() < PATH_MAX) tooLong += "d/";
  ScanList list;
  int visited = 0;
  {
    test::FewOpenFiles few(32);
    ASSERT_TRUE(few.ok());
    ScanFolders(top, TypeSelection().set(), true, list, Limit(visited, 5000), [&](const std::string& folder, int error) {
      reported.push_back(Levels(top, folder) + " " + std::to_string(error));
    });
  }
  for (const std::string& entry : list) listed.push_back(Levels(top, std::string(FileEntryPath(entry))));
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(reported, Strings{Levels(top, tooLong) + " " + std::to_string(ENAMETOOLONG)});
}

// A link that leads back to itself, directly or through others, cannot be a
// folder or a file: it is reported as a loop in walk order, beside the
// documents found. So is a folder whose path leads through more links than
// the system follows, since no document in it could be opened by its path.
TEST(FolderScan, LinkLoopsAreReported) {
  TempFolder temp;
  const std::string root = temp.folder("root");
  temp.link("root/loop.par", "loop.par");
  temp.link("root/ring/one", "two");
  temp.link("root/ring/two", "one");
  temp.file("root/ring/kept.par");
  // Each level links to the next: level k is reached through k links.
  for (int k = 0; k < 60; ++k) {
    temp.link("chain/" + std::to_string(k) + "/next", "../" + std::to_string(k + 1));
    temp.file("chain/" + std::to_string(k) + "/doc" + std::to_string(k) + ".par");
  }
  temp.link("root/chain", "../chain/0");
  std::vector<std::pair<std::string, int>> reports;
  ScanList list;
  ScanFolder(root, "PAR", list, true, {}, [&](const std::string& folder, int error) {
    reports.emplace_back(folder, error);
  });
  std::sort(reports.begin(), reports.end());
  // The last folder reached is the one whose path the system still resolves.
  std::string last = root + "/chain";
  size_t reached = 0;
  for (; ::access(last.c_str(), F_OK) == 0; ++reached) last += "/next";
  ASSERT_TRUE(reached > 30 && reached < 60) << reached;
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{
                         {last + "/", ELOOP}, {root + "/loop.par/", ELOOP}, {root + "/ring/one/", ELOOP},
                         {root + "/ring/two/", ELOOP}}));
  ScanList expected{"    " + root + "/ring/kept.par"};
  for (std::string folder = root + "/chain"; expected.size() <= reached; folder += "/next")
    expected.push_back("    " + folder + "/doc" + std::to_string(expected.size() - 1) + ".par");
  std::sort(list.begin(), list.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(list, expected);
}

// A tree with every kind of entry that could make one walk for all types
// differ from one walk per type: each type's entries must come in a block,
// in the order PAR, ASM, PSM, DFT. A trailing separator makes no difference.
// A name matches when its upper-cased end is the type, dot or not.
TEST(FolderScan, OneWalkForSeveralTypesEqualsOneWalkPerType) {
  TempFolder temp;
  for (const char* name : {"PAR", "ASM", "a.asm", "b.PSM", "c.dft", "d.par", "e.txt", "f.par.bak", "gDFT", "h.Asm", "ar",
                           "i.pa", "x.par/inner.asm", "x.par/deep/d1.dft", "x.par/deep/d2.par", "Mixed/Case.PSM",
                           "Mixed/sub/z.dft", "../outside/o.par", "../outside/o.asm"})
    temp.file(std::string("root/") + name);
  temp.folder("root/Mixed/empty");
  temp.link("root/Mixed/sub/loop", "../..");
  temp.link("root/linked", "../outside");
  temp.link("root/broken.psm", "gone");
  const std::string root = temp.str() + "/root";
  for (bool subfolders : {true, false}) {
    for (unsigned bits = 0; bits < 16; ++bits) {
      SCOPED_TRACE("types " + TypeSelection(bits).to_string() + (subfolders ? " with" : " without") + " subfolders");
      ScanList sequential{"    before"}, once{"    before"}, separator{"    before"};
      int visited = 0;
      const auto limit = Limit(visited, 1000);
      for (int k = 0; k < kDocumentTypeCount; ++k)
        if (TypeSelection(bits).test(static_cast<size_t>(k))) {
          ASSERT_NO_THROW(ScanFolder(root, kTypePatterns[k], sequential, subfolders, limit));
        }
      ASSERT_NO_THROW(ScanFolders(root, TypeSelection(bits), subfolders, once, limit));
      ASSERT_NO_THROW(ScanFolders(root + "/", TypeSelection(bits), subfolders, separator, limit));
      EXPECT_EQ(once, sequential);
      EXPECT_EQ(separator, once);
      if (bits == 1 && !subfolders) {  // the folder named like a document is a folder entry only
        EXPECT_EQ(std::count(once.begin(), once.end(), ">>" + root + "/x.par"), 1);
        EXPECT_EQ(std::count_if(once.begin(), once.end(), [](const auto& e) { return e.ends_with("/x.par"); }), 1);
      }
      if (bits == 15 && subfolders) {
        ScanList names;
        for (size_t k = 1; k < once.size(); ++k) names.push_back(once[k].substr(4 + root.size() + 1));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (ScanList{"ASM", "Mixed/Case.PSM", "Mixed/sub/z.dft", "PAR", "a.asm", "b.PSM", "broken.psm",
                                   "c.dft", "d.par", "gDFT", "h.Asm", "linked/o.asm", "linked/o.par", "x.par/deep/d1.dft",
                                   "x.par/deep/d2.par", "x.par/inner.asm"}));
      }
    }
  }
}

}  // namespace
}  // namespace fendrik
