// The folder walk: file-system order, which names match, links, folders that
// cannot be listed, trees deeper than the files a process may open, and one
// walk for several types.
#include "search/FolderScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/OrdinaryUser.h"
#include "platform/TestSystem.h"

namespace fendrik {
namespace {

using platform::Fault;
using test::Native;
using test::TempFolder;
using Strings = std::vector<std::string>;
using Reports = std::vector<std::pair<std::string, Fault>>;

// Collects what the walk reports, with the system's number where the test
// expects one.
auto Collect(Reports& reports) {
  return [&reports](const std::string& folder, platform::SystemError error) {
    reports.emplace_back(folder, error.fault);
  };
}

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
  // last could pass. Windows lists every folder sorted by name (NTFS keeps it
  // so, and Wine sorts too): there the documents are named around "sub".
  std::vector<std::string> order;
  for (int k = 0;; ++k) {
    ASSERT_LT(k, 200) << "the file system keeps the names sorted";
    temp.file(std::string("d/") + (k % 2 == 0 ? "a" : "z") + std::to_string(k) + ".par");
    order.clear();
    for (const auto& entry : std::filesystem::directory_iterator(d)) order.push_back(entry.path().filename().string());
    const auto sub = std::find(order.begin(), order.end(), "sub");
    if (k >= 3 && sub != order.begin() && sub + 1 != order.end() &&
        (test::kWindows || (!std::is_sorted(order.begin(), order.end()) && !std::is_sorted(order.rbegin(), order.rend()))))
      break;
  }
  ScanList expectedWith{"    earlier"}, expectedWithout{"    earlier"}, with{"    earlier"}, without{"    earlier"};
  for (const std::string& name : order) {
    expectedWith.push_back("    " + d + Native("/" + (name == "sub" ? "sub/b.par" : name)));
    expectedWithout.push_back((name == "sub" ? ">>" : "    ") + d + Native("/" + name));
  }
  ScanFolder(d, "PAR", with, true);
  ScanFolder(d, "PAR", without, false);
  EXPECT_EQ(with, expectedWith);
  EXPECT_EQ(without, expectedWithout);
}

TEST(FolderScan, MissingOrUnlistableFolderYieldsNothingButAReport) {
  TempFolder temp;
  Reports reports;
  ScanList list{"    kept"};
  ScanFolder(temp.str() + "/missing", "PAR", list, true, {}, Collect(reports));
  // A file, not a folder, is not found as a folder either.
  ScanFolders(temp.file("plain.par"), TypeSelection().set(), true, list, {}, Collect(reports));
  EXPECT_EQ(list, (ScanList{"    kept"}));
  EXPECT_EQ(reports, (Reports{{Native(temp.str() + "/missing/"), Fault::notFound},
                              {Native(temp.str() + "/plain.par/"), Fault::notFound}}));
  if (test::SkipHere(!test::kFolderModes, "folders an ordinary user cannot list need POSIX modes")) return;
  reports.clear();
  temp.file("locked/hidden.par");
  temp.folder("locked too");
  for (const char* locked : {"/locked", "/locked too"}) test::DenyListing(temp.str() + locked);
  test::AsOrdinaryUser(temp, [&] { ScanFolders(temp.str(), TypeSelection().set(), true, list, {}, Collect(reports)); });
  for (const char* locked : {"/locked", "/locked too"}) test::AllowListing(temp.str() + locked);
  EXPECT_EQ(list, (ScanList{"    kept", "    " + temp.str() + "/plain.par"}));
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (Reports{{temp.str() + "/locked too/", Fault::accessDenied},
                              {temp.str() + "/locked/", Fault::accessDenied}}));
}

TEST(FolderScan, FolderLinksAreFollowedButNeverBackIntoAnAncestor) {
  if (!test::CanMakeLinks()) GTEST_SKIP() << "this account may not make symbolic links";
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
  EXPECT_EQ(list, (ScanList{"    " + root + Native("/a.par"), "    " + root + Native("/away/o.par"),
                            "    " + root + Native("/dead.par"), "    " + root + Native("/sub/b.par")}));
  // Without subfolders a link to a folder is recorded like a folder.
  ScanList flat;
  ScanFolder(root, "PAR", flat, false);
  for (const std::string& entry :
       {">>" + root + Native("/away"), ">>" + root + Native("/self"), "    " + root + Native("/dead.par")})
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
  EXPECT_TRUE(deep[0].ends_with(Native("/deep.par"))) << deep[0];
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
  if (test::kWindows) GTEST_SKIP() << "the tree is made and limited with POSIX means (openat, the longest POSIX path, the limit of open files)";
  TempFolder temp;
  const std::string top = temp.str() + "/deep";
  std::vector<int> withFile;
  for (int level = 0; level < 3000; level += 250) withFile.push_back(level);
  withFile.push_back(2999);
  const std::vector<std::string> documents = temp.chain("deep", "d", 3000, withFile);
  Strings expected, listed, reported;
  for (const std::string& document : documents)
    if (document.rfind('/') + 1 < test::kMaxPath) expected.push_back(Levels(top, document));
  ASSERT_GE(expected.size(), 5U);
  ASSERT_LT(expected.size(), documents.size());
  std::string tooLong = top + "/d/";
  while (tooLong.size() < test::kMaxPath) tooLong += "d/";
  ScanList list;
  int visited = 0;
  {
    test::FewOpenFiles few(32);
    ASSERT_TRUE(few.ok());
    ScanFolders(top, TypeSelection().set(), true, list, Limit(visited, 5000),
                [&](const std::string& folder, platform::SystemError error) {
                  reported.push_back(Levels(top, folder) + " " + platform::ErrorText(error));
                });
  }
  for (const std::string& entry : list) listed.push_back(Levels(top, std::string(FileEntryPath(entry))));
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(reported, Strings{Levels(top, tooLong) + " Dateiname zu lang"});
}

// A link that leads back to itself, directly or through others, cannot be a
// folder or a file: it is reported as a loop in walk order, beside the
// documents found. So is a folder whose path leads through more links than
// the system follows, since no document in it could be opened by its path.
TEST(FolderScan, LinkLoopsAreReported) {
  if (!test::CanMakeLinks()) GTEST_SKIP() << "this account may not make symbolic links";
  TempFolder temp;
  const std::string root = temp.folder("root");
  temp.link("root/loop.par", "loop.par");
  temp.link("root/ring/one", "two");
  temp.link("root/ring/two", "one");
  temp.file("root/ring/kept.par");
  // Each level links to the next: level k is reached through k links.
  // Windows follows 63 links in a path, more than the chain has.
  const bool chain = !test::SkipHere(test::kWindows, "a path through more links than the system follows");
  for (int k = 0; chain && k < 60; ++k) {
    temp.link("chain/" + std::to_string(k) + "/next", "../" + std::to_string(k + 1));
    temp.file("chain/" + std::to_string(k) + "/doc" + std::to_string(k) + ".par");
  }
  if (chain) temp.link("root/chain", "../chain/0");
  Reports reports;
  ScanList list;
  ScanFolder(root, "PAR", list, true, {}, Collect(reports));
  std::sort(reports.begin(), reports.end());
  // The last folder reached is the one whose path the system still resolves.
  std::string last = root + Native("/chain");
  size_t reached = 0;
  platform::FileStatus status;
  for (; chain && !platform::StatusOf(last, status); ++reached) last += Native("/next");
  ASSERT_TRUE(!chain || (reached > 30 && reached < 60)) << reached;
  Reports expectedReports{{root + Native("/loop.par/"), Fault::linkLoop},
                          {root + Native("/ring/one/"), Fault::linkLoop},
                          {root + Native("/ring/two/"), Fault::linkLoop}};
  if (chain) expectedReports.insert(expectedReports.begin(), {last + Native("/"), Fault::linkLoop});
  EXPECT_EQ(reports, expectedReports);
  ScanList expected{"    " + root + Native("/ring/kept.par")};
  for (std::string folder = root + Native("/chain"); chain && expected.size() <= reached; folder += Native("/next"))
    expected.push_back("    " + folder + Native("/doc") + std::to_string(expected.size() - 1) + ".par");
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
  const bool links = !test::SkipHere(!test::CanMakeLinks(), "this account may not make symbolic links");
  if (links) {
    temp.link("root/Mixed/sub/loop", "../..");
    temp.link("root/linked", "../outside");
    temp.link("root/broken.psm", "gone");
  }
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
      if constexpr (platform::kPathSeparator != '/') {
        ScanList native{"    before"};
        ASSERT_NO_THROW(ScanFolders(root + platform::kPathSeparator, TypeSelection(bits), subfolders, native, limit));
        EXPECT_EQ(native, once);
      }
      EXPECT_EQ(once, sequential);
      EXPECT_EQ(separator, once);
      if (bits == 1 && !subfolders) {  // the folder named like a document is a folder entry only
        EXPECT_EQ(std::count(once.begin(), once.end(), ">>" + Native(root + "/x.par")), 1);
        EXPECT_EQ(std::count_if(once.begin(), once.end(), [](const auto& e) { return e.ends_with(Native("/x.par")); }),
                  1);
      }
      if (bits == 15 && subfolders) {
        ScanList names;
        for (size_t k = 1; k < once.size(); ++k) names.push_back(once[k].substr(4 + root.size() + 1));
        std::sort(names.begin(), names.end());
        ScanList expected;
        for (const char* name : {"ASM", "Mixed/Case.PSM", "Mixed/sub/z.dft", "PAR", "a.asm", "b.PSM", "broken.psm",
                                 "c.dft", "d.par", "gDFT", "h.Asm", "linked/o.asm", "linked/o.par", "x.par/deep/d1.dft",
                                 "x.par/deep/d2.par", "x.par/inner.asm"})
          if (links || (std::string_view(name) != "broken.psm" && !std::string_view(name).starts_with("linked/")))
            expected.push_back(Native(name));
        EXPECT_EQ(names, expected);
      }
    }
  }
}

}  // namespace
}  // namespace fendrik
