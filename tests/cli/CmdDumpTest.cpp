// `fendrik-cli dump` on generated compound files, run as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "CompoundFileBuilder.h"
#include "TestCommon.h"

namespace {

using fendrik::test::shellQuote;
using fendrik::test::TempFolder;
namespace cfbt = fendrik::cfb::testing;

TEST(CmdDump, StreamNamesBeyondTheBasicPlanePrintAsUtf8) {
  // Only the name matters here; the stream's bytes are no property set.
  const std::vector<uint8_t> content(28, 0);
  TempFolder temp;
  const auto path = temp / "names.cfb";
  cfbt::writeSparse(cfbt::buildCompoundFile({{u"\005Set \U0001F600\u00E4", content}}, 3).image, path);

  std::string out;
  ASSERT_EQ(fendrik::test::runCommand(shellQuote(FENDRIK_CLI) + " dump " + shellQuote(path.string()), &out), 0);
  EXPECT_TRUE(out.starts_with(path.string() + "\nset \"\\005Set \xF0\x9F\x98\x80\xC3\xA4\"  (28 bytes)\n")) << out;
}

}  // namespace
