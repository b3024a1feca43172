#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "search/FolderScan.h"

namespace fendrik {
namespace {

using test::TempFolder;

// The names of a folder in the order the file system enumerates them.
std::vector<std::string> Enumerated(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

size_t CountEntriesEndingIn(const ScanList& list, const std::string& tail) {
  return static_cast<size_t>(std::count_if(list.begin(), list.end(), [&](const std::string& e) {
    return e.ends_with(tail);
  }));
}

TEST(FolderScan, WorkedExampleKeepsTheEnumerationOrder) {
  TempFolder temp;
  std::string d = temp.folder("d");
  temp.file("d/a.par");
  temp.file("d/sub/b.par");
  temp.file("d/sub/c.asm");
  temp.file("d/z.par");

  ScanList expectedWith, expectedWithout;
  for (const std::string& name : Enumerated(d)) {
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

TEST(FolderScan, MissingOrUnlistableFolderYieldsNothing) {
  TempFolder temp;
  ScanList list{"    kept"};
  ScanFolder(temp.str() + "/missing", "PAR", list, true);
  ScanFolder(temp.file("plain.par"), "PAR", list, true);  // a file, not a folder
  EXPECT_EQ(list, ScanList{"    kept"});

  if (::geteuid() == 0) GTEST_SKIP() << "the super-user can list any folder";
  temp.file("locked/hidden.par");
  ::chmod((temp.str() + "/locked").c_str(), 0);
  ScanList walk;
  ScanFolder(temp.str(), "PAR", walk, true);
  ::chmod((temp.str() + "/locked").c_str(), 0700);
  EXPECT_EQ(walk, ScanList{"    " + temp.str() + "/plain.par"});
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
  ScanFolder(root, "PAR", list, true);
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
        if (types.test(static_cast<size_t>(k))) ScanFolder(root, kTypePatterns[k], sequential, subfolders);
      ScanList once{"    before"};
      int folders = 0;
      ScanFolders(root, types, subfolders, once, [&] { ++folders; });
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
  ScanFolders(root, TypeSelection().set(), true, list);
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
