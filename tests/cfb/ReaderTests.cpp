// The compound-file reader against the real documents and generated files,
// with olefile as the reference; damaged and hostile files, where every fault
// ends in a StorageError that says what and where, never in a crash, a hang
// or an unbounded allocation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/Format.h"

// The largest single allocation since the test last set it to 0: a number
// read from a damaged file must never become the size of one.
// (Not inlined: the compiler would take the malloc/free pair for a mismatch.)
static size_t largestAllocation = 0;
[[gnu::noinline]] void* operator new(size_t size) {
  largestAllocation = std::max(largestAllocation, size);
  if (void* p = std::malloc(size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace fendrik::cfb::testing {
namespace {

using namespace fendrik::cfb::detail;

TEST(RealSampleReader, EveryRealSampleReadsLikeOlefile) {
  auto samples = realSamples();
  ASSERT_GT(samples.size(), 20u);
  auto reference = olefileRootStreams(samples);
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(samples[i].string());
    EXPECT_TRUE(reference[i] == rootStreams(samples[i]));
    // Property sets are found whatever the case of their names; reading one
    // touches a small part of a large file; reads beyond the stream or larger
    // than the caller allows are refused.
    auto file = CompoundFile::open(samples[i]);
    EXPECT_TRUE(file->findRootChild(u"\005c3teagxwottdbfkuiaamtae3ie").has_value());
    EXPECT_FALSE(file->findRootChild(u"\005SummaryInformatio").has_value());
    auto summary = file->findRootChild(u"\005SUMMARYINFORMATION");
    ASSERT_TRUE(summary.has_value());
    auto bytes = file->readStream(*summary, 1 << 20);
    if (const auto size = std::filesystem::file_size(samples[i]); size > (1u << 20)) {
      EXPECT_LT(file->bytesRead() * 4, size);
    }
    std::vector<uint8_t> beyond(2);
    EXPECT_THROW(file->readStream(*summary, bytes.size() - 1, beyond), StorageError);
    EXPECT_THROW(file->readStream(*summary, 10), StorageError);
  }
}

TEST(CompoundFileReader, GeneratedFilesReadLikeOlefile) {
  // A leading stream pushes the mini stream, directory and FAT towards, across
  // and beyond the end of the first 64 KiB, which the reader reads at open;
  // the largest one needs DIFAT sectors in version 3.
  TempDir dir;
  const auto path = dir / "generated.par";
  for (int version : {3, 4})
    for (size_t lead : {0u, 52000u, 60000u, 64000u, 66000u, 200000u, 8u << 20}) {
      SCOPED_TRACE(std::to_string(version) + " / " + std::to_string(lead));
      const std::vector<BuildStream> streams = {{u"Lead", pattern(lead, 7)}, {kSummary, pattern(430, 8)},
                                                {kExtendedSummary, pattern(45152, 9)}, {u"Empty", {}},
                                                {u"JustBelowCutoff", pattern(4095, 10)},
                                                {u"AtCutoff", pattern(4096, 11)}, {u"Body", pattern(9000, 12)}};
      writeSparse(buildCompoundFile(streams, version).image, path);
      EXPECT_TRUE(olefileRootStreams({path}).front() == rootStreams(path));
      // Opening reads the head in one piece; a file that fits in it is read
      // once and never again.
      auto file = CompoundFile::open(path);
      const uint64_t size = std::filesystem::file_size(path);
      EXPECT_GE(file->bytesRead(), std::min<uint64_t>(size, 64 * 1024));
      for (const auto& s : streams) {
        SCOPED_TRACE(s.content.size());
        auto id = file->findRootChild(s.name);
        ASSERT_TRUE(id);
        EXPECT_TRUE(file->readStream(*id, 16u << 20) == s.content);
        // Pieces across sector and mini-sector borders, and in-place views.
        for (uint64_t at : {0, 60, 500, 4090}) {
          if (at >= s.content.size()) continue;
          std::vector<uint8_t> piece(std::min<uint64_t>(200, s.content.size() - at));
          file->readStream(*id, at, piece);
          EXPECT_TRUE(std::equal(piece.begin(), piece.end(), s.content.begin() + static_cast<long>(at))) << at;
        }
        const uint64_t head = std::min<uint64_t>(s.content.size(), 4096);
        const uint8_t* view = file->streamView(*id, head);
        EXPECT_TRUE(!view || std::equal(view, view + head, s.content.begin()));
      }
      EXPECT_TRUE(size > 64 * 1024 || file->bytesRead() == size);
    }
}

// Opens the file and reads every root stream: empty when that works, else
// the error's description.
std::string readError(const std::filesystem::path& path) {
  const Failure f = failureOf([&] { rootStreams(path); });
  EXPECT_TRUE(f.number == 0 || f.number == hresult::kDocfileCorrupt || f.number == hresult::kInvalidHeader) << f.text;
  return f.text;
}

TEST(HostileInput, EveryDamageEndsInAnErrorThatNamesIt) {
  // No damage costs a larger allocation than reading the intact file.
  // Version 3 with a DIFAT sector, streams inside the mini stream and outside.
  TempDir dir;
  const auto built = buildCompoundFile({{kSummary, std::vector<uint8_t>(300, 0x11)},
                                        {u"Big", std::vector<uint8_t>(45300, 0x22)},
                                        {u"Small", std::vector<uint8_t>(1000, 0x33)},
                                        {u"Model", std::vector<uint8_t>(8u << 20, 0)}},
                                       3);
  ASSERT_EQ(built.numDifatSectors, 1u);
  const uint32_t big = built.streamIds[1], small = built.streamIds[2];
  auto entry = [&](uint32_t id, size_t field) { return built.entryOffset(id) + field; };
  auto fat = [&](uint32_t s) { return built.sectorOffset(built.firstFatSector) + 4 * s; };
  auto u32 = [&](uint64_t at) { return loadU32(built.image.data() + at); };
  const uint32_t first = u32(entry(big, kDeStartSector)), mini = u32(entry(small, kDeStartSector));
  const uint64_t miniFat = built.sectorOffset(u32(kHdrFirstMiniFatSector)) + 4 * (mini + 2);
  const uint32_t top = u32(entry(0, kDeChild));
  const uint64_t difat = built.sectorOffset(built.firstDifatSector);
  auto n = [](uint64_t value) { return std::to_string(value); };
  const std::string bigAt = "Datenstrom \"Big\" (Verzeichniseintrag " + n(big) + "), Sektor ";
  struct Poke {
    uint64_t at;
    uint64_t value;
    int bytes = 4;
  };
  struct Case {
    std::vector<Poke> pokes;
    std::string expected;  // a part of the description; empty: the file reads
  };
  const std::vector<Case> cases = {
      {{}, ""},
      // Chains outside the mini stream, and sizes that do not fit them.
      {{{fat(first + 5), 0x00FFFFFF}}, bigAt + n(first + 5) + " verweist auf 16777215 (Glied 7 der Kette)"},
      {{{fat(first + 5), kEndOfChain}}, "endet zu früh (" + bigAt + n(first + 5) + " verweist auf ENDOFCHAIN"},
      {{{fat(first + 5), kFreeSector}}, "außerhalb der Datei (" + bigAt + n(first + 5) + " verweist auf FREESECT"},
      {{{fat(first + 5), first + 1}}, bigAt + n(first + 1) + " zum zweiten Mal (Glied 7 der Kette)"},
      // Forward past a sector, back to it (no repeat yet), then on to one
      // already passed.
      {{{fat(first + 5), first + 7}, {fat(first + 9), first + 6}},
       bigAt + n(first + 7) + " zum zweiten Mal (Glied 11 der Kette)"},
      // A number far outside the file near the end of a long chain: the loop
      // check must not size its marks by that number (it would take 512 MiB).
      {{{fat(first + 87), 0xFFFFFFF0u}}, bigAt + n(first + 87) + " verweist auf 4294967280"},
      {{{entry(big, kDeSize), 45300 + 4 * 512, 8}}, bigAt + n(first + 88) + " verweist auf ENDOFCHAIN (Glied 90"},
      {{{entry(big, kDeSize), 512u << 20, 8}}, "größer als die Datei (Datenstrom \"Big\""},
      {{{entry(big, kDeSize), (uint64_t{7} << 32) | 45300, 8}}, ""},  // version 3 ignores the upper half
      // Chains in the mini stream.
      {{{entry(small, kDeSize), 4000, 8}}, "\"Small\" (Verzeichniseintrag " + n(small) + "): 63 Mini-Sektoren"},
      {{{miniFat, mini}}, "Mini-Sektor " + n(mini) + " zum zweiten Mal (Glied 4 der Kette)"},
      {{{miniFat, 5000}}, "Mini-Sektor " + n(mini + 2) + " verweist auf 5000"},
      // The directory.
      {{{entry(0, kDeType), kTypeStorage, 1}}, "der Stammeintrag fehlt"},
      {{{entry(top, kDeType), 7, 1}}, "unbekannter Typ 7 (Verzeichniseintrag " + n(top)},
      {{{entry(top, kDeNameLength), 200, 2}}, "Namenslänge 200 Bytes (höchstens 64) (Verzeichniseintrag " + n(top)},
      {{{entry(top, kDeLeft), top}}, "Schleife im Verzeichnis (Verzeichniseintrag " + n(top)},
      {{{entry(top, kDeLeft), 999}}, "Verzeichniseintrag " + n(top) + " verweist auf 999"},
      {{{fat(built.firstDirSector), built.firstDirSector}},
       "(Verzeichnis, Sektor " + n(built.firstDirSector) + " zum zweiten Mal"},
      // The header: each check names its field.
      {{{0, 0, 1}}, "Kennung fehlt (Dateikopf, Bytes 0x0 bis 0x7)"},
      {{{kHdrByteOrder, 0xFEFF, 2}}, "Bytereihenfolge 0xFEFF statt 0xFFFE (Dateikopf, Byte 0x1C)"},
      {{{kHdrMajorVersion, 5, 2}}, "Version 5 (Dateikopf, Byte 0x1A)"},
      {{{kHdrSectorShift, 12, 2}}, "Sektorgröße 2^12 passt nicht zu Version 3 (erwartet 2^9) (Dateikopf, Byte 0x1E)"},
      {{{kHdrMiniSectorShift, 7, 2}}, "Mini-Sektorgröße 2^7 statt 2^6 (Dateikopf, Byte 0x20)"},
      {{{kHdrMiniStreamCutoff, 8192}}, "Mini-Datenstroms 8192 statt 4096 (Dateikopf, Byte 0x38)"},
      {{{kHdrNumFatSectors, 0}}, "FAT-Sektoren 0 (Dateikopf, Byte 0x2C"},
      {{{kHdrNumFatSectors, 0x7FFFFFFF}}, "FAT-Sektoren 2147483647 (Dateikopf, Byte 0x2C"},
      {{{kHdrNumFatSectors, 200}}, "ein FAT-Sektor liegt außerhalb der Datei (FAT-Sektor 130 in Sektor FREESECT"},
      {{{kHdrFirstDirSector, 0x00FFFFFF}}, "(Verzeichnis, erster Sektor 16777215"},
      {{{kHdrFirstMiniFatSector, 0x00FFFFFF}}, "(Mini-FAT (Dateikopf, Byte 0x3C), erster Sektor 16777215"},
      {{{kHdrNumMiniFatSectors, 0x7FFFFFFF}}, "(Mini-FAT (Dateikopf, Byte 0x3C): 2147483647 Sektoren"},
      {{{kHdrDifat, 0x00FFFFFF}}, "(FAT-Sektor 0 in Sektor 16777215"},
      // The DIFAT sectors; the last case needs two, the first pointing at itself.
      {{{kHdrNumDifatSectors, 0}}, "(Dateikopf, Byte 0x48: 0 DIFAT-Sektoren, 1 nötig"},
      {{{kHdrFirstDifatSector, 0x00FFFFFF}}, "(Dateikopf, Byte 0x44: Sektor 16777215"},
      {{{difat, 0x00FFFFFF}}, "(FAT-Sektor 109 in Sektor 16777215"},
      {{{kHdrNumFatSectors, 109 + 127 + 1}, {kHdrNumDifatSectors, 2}, {difat + 4 * 127, built.firstDifatSector}},
       "Schleife in der DIFAT"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    auto image = built.image;
    for (const Poke& p : cases[i].pokes)
      for (int k = 0; k < p.bytes; ++k) image[p.at + k] = static_cast<uint8_t>(p.value >> (8 * k));
    writeSparse(image, dir / "damaged.par");
    largestAllocation = 0;
    const std::string error = readError(dir / "damaged.par");
    EXPECT_LE(largestAllocation, 8u << 20);  // the model stream, read from the intact file
    if (cases[i].expected.empty()) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_NE(error.find(cases[i].expected), std::string::npos) << error;
    }
  }
}

TEST(HostileInput, FileFarLongerThanItsStructureCostsTheMemoryOfItsStructure) {
  // Extended sparse to 1 TB (2^31 sectors): nothing is sized by the file's
  // length (marks for its sectors would take 256 MiB, a table 8 GiB), also
  // where a damaged number points into the extension.
  TempDir dir;
  const auto built =
      buildCompoundFile({{kSummary, std::vector<uint8_t>(300, 0x11)}, {u"Big", std::vector<uint8_t>(45300, 0x22)}}, 3);
  const uint32_t big = built.streamIds[1];
  const uint64_t bigStart = built.entryOffset(big) + kDeStartSector, bigSize = built.entryOffset(big) + kDeSize;
  auto fat = [&](uint32_t s) { return built.sectorOffset(built.firstFatSector) + 4 * s; };
  const uint32_t first = loadU32(built.image.data() + bigStart), far = 0x7FFFFF00;
  struct Case {
    uint64_t at, value;
    int bytes;
    std::string expected;  // a part of the description; empty: the file reads
  };
  for (const Case& c : std::vector<Case>{
           {0, 0, 0, ""},
           {fat(first + 87), far, 4, ""},  // the last sector in the extension: read leniently, as it lies
           {bigSize, 0x30000000u, 8, "Sektorkette ist länger als die FAT"},
           {fat(built.firstDirSector), far, 4, "Sektornummer außerhalb der FAT"},
           {kHdrNumFatSectors, 0x7FFFFFF0u, 4, "die DIFAT ist unvollständig"}}) {
    SCOPED_TRACE(c.expected);
    auto image = built.image;
    for (int k = 0; k < c.bytes; ++k) image[c.at + k] = static_cast<uint8_t>(c.value >> (8 * k));
    writeSparse(image, dir / "extended.par");
    test::resizeFile((dir / "extended.par").string(), uint64_t{1} << 40);
    largestAllocation = 0;
    const std::string error = readError(dir / "extended.par");
    EXPECT_LE(largestAllocation, 1u << 20);
    if (c.expected.empty()) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
  }
}

// A file that another program cuts short while it is open: every read
// beyond the cut fails, also one of bytes next to those of a read that failed
// before (the piece of the file fetched around them must not stay half read).
TEST(HostileInput, FileCutShortWhileOpenFailsEveryReadBeyondTheCut) {
  TempDir dir;
  // Two streams side by side at 80 KiB, beyond the read-ahead; the directory
  // and FAT at the end of the file.
  auto built = buildCompoundFile({{u"Vorne", std::vector<uint8_t>(80 * 1024, 1)},
                                  {u"A", std::vector<uint8_t>(5000, 2)},
                                  {u"B", std::vector<uint8_t>(5000, 3)},
                                  {u"Hinten", std::vector<uint8_t>(100 * 1024, 4)}},
                                 3);
  writeSparse(built.image, dir / "cut.par");
  auto file = CompoundFile::open(dir / "cut.par");
  std::vector<uint8_t> piece(512);
  file->readStream(built.streamIds[1], 0, piece);
  EXPECT_EQ(piece, std::vector<uint8_t>(512, 2));
  file.reset();
  file = CompoundFile::open(dir / "cut.par");
  std::filesystem::resize_file(dir / "cut.par", 84 * 1024);
  EXPECT_THROW(file->readStream(built.streamIds[1], 0, piece), StorageError);
  EXPECT_THROW(file->readStream(built.streamIds[2], 0, piece), StorageError) << int{piece[0]};
}

// Space lent to the files one owner opens one after another: a file reads
// only what it read itself (never bytes another file left there), a file
// opened while another holds the space reads from memory of its own, and the
// space is free again after each file, also after an open that failed and a
// read beyond a cut.
TEST(CompoundFileReader, LentSpaceHoldsOneFileAtATimeAndNeverShowsAnotherFilesBytes) {
  TempDir dir;
  // The same layout with other bytes: every stream lies at the same offsets
  // in both files, the small ones beyond the read-ahead head.
  auto layout = [](uint8_t fill) {
    return buildCompoundFile({{u"Vorne", std::vector<uint8_t>(80 * 1024, fill)},
                              {u"A", std::vector<uint8_t>(5000, static_cast<uint8_t>(fill + 1))},
                              {u"B", std::vector<uint8_t>(5000, static_cast<uint8_t>(fill + 2))},
                              {u"Hinten", std::vector<uint8_t>(100 * 1024, fill)}},
                             3);
  };
  const BuiltFile one = layout(1), two = layout(10);
  writeSparse(one.image, dir / "one.par");
  writeSparse(two.image, dir / "two.par");
  writeSparse(std::vector<uint8_t>(3000, 'x'), dir / "text.par");
  ReadSpace space;
  std::vector<uint8_t> piece(512);
  auto firstBytesOf = [&](const CompoundFile& file, uint32_t id) {
    file.readStream(id, 0, piece);
    return int{piece[0]} * (std::count(piece.begin(), piece.end(), piece[0]) == 512 ? 1 : -1);
  };
  {
    auto file = CompoundFile::open(dir / "one.par", nullptr, &space);
    EXPECT_EQ(space.borrow(1), nullptr);  // held while the file is open
    EXPECT_EQ(firstBytesOf(*file, one.streamIds[1]), 2);
    EXPECT_EQ(firstBytesOf(*file, one.streamIds[2]), 3);
  }
  {
    auto file = CompoundFile::open(dir / "two.par", nullptr, &space);
    auto other = CompoundFile::open(dir / "one.par", nullptr, &space);  // memory of its own
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round);
      EXPECT_EQ(firstBytesOf(*file, two.streamIds[1]), 11);
      EXPECT_EQ(firstBytesOf(*other, one.streamIds[1]), 2);
      EXPECT_EQ(firstBytesOf(*file, two.streamIds[2]), 12);
      EXPECT_EQ(firstBytesOf(*other, one.streamIds[2]), 3);
    }
  }
  EXPECT_THROW(CompoundFile::open(dir / "text.par", nullptr, &space), StorageError);
  ASSERT_NE(space.borrow(1), nullptr);  // given back by the open that failed
  space.giveBack();
  {
    auto file = CompoundFile::open(dir / "one.par", nullptr, &space);
    std::filesystem::resize_file(dir / "one.par", 84 * 1024);
    EXPECT_THROW(file->readStream(one.streamIds[1], 0, piece), StorageError);
    EXPECT_THROW(file->readStream(one.streamIds[2], 0, piece), StorageError);
  }
  auto file = CompoundFile::open(dir / "two.par", nullptr, &space);
  EXPECT_EQ(firstBytesOf(*file, two.streamIds[2]), 12);
  EXPECT_EQ(firstBytesOf(*file, two.streamIds[1]), 11);
}

TEST(HostileInput, SizeFieldNearItsLimitInVersion4) {
  // Version 4 counts all 64 bits of the size; a size near 2^64 must not wrap
  // round to a short chain.
  TempDir dir;
  auto built =
      buildCompoundFile({{kSummary, std::vector<uint8_t>(300, 1)}, {u"Big", std::vector<uint8_t>(9000, 2)}}, 4);
  for (uint32_t id : built.streamIds) {
    auto image = built.image;
    storeU64(image.data() + built.entryOffset(id) + kDeSize, ~uint64_t{0} - 62);
    writeSparse(image, dir / "huge.par");
    auto file = CompoundFile::open(dir / "huge.par");
    std::vector<uint8_t> piece(16);
    EXPECT_THROW(file->readStream(id, 0, piece), StorageError);
    EXPECT_THROW(file->streamView(id, 16), StorageError);
  }
}

TEST(RealSampleTruncation, TruncatedRealSampleNeverCrashes) {
  TempDir dir;
  auto bytes = readFileBytes(realSamples().front());
  for (size_t length : {size_t{0}, size_t{100}, size_t{511}, size_t{512}, size_t{1024}, bytes.size() / 4,
                        bytes.size() / 2, bytes.size() - 600, bytes.size() - 1}) {
    writeSparse(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(length)), dir / "cut.par");
    EXPECT_NE(readError(dir / "cut.par"), "") << length;
  }
}

}  // namespace
}  // namespace fendrik::cfb::testing
