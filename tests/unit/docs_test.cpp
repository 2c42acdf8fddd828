// The documents say what the code does: the exit codes and the tools' commands are written once
// in code, and the guides are held to them here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "operations/exit_codes.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

std::string Document(const std::string& name) {
  std::ifstream file(std::string(MERVA_DOCS) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(Docs, ThePlayersGuideGivesEveryExitCodeInTheCodesWords) {
  const std::string players = Document("players.md");
  ASSERT_FALSE(players.empty());
  for (const TExitCodeMeaning& meaning : kExitCodeMeanings) {
    const std::string row =
        "| " + std::to_string(static_cast<int>(meaning.Code)) + " | " + meaning.Words + " |\n";
    EXPECT_NE(players.find(row), std::string::npos) << row;
  }
}

TEST(Docs, TheAuthorsGuideListsEveryCommandAsTheToolsPrintIt) {
  const std::string authors = Document("authors.md");
  ASSERT_FALSE(authors.empty());
  for (const char* tool : {MERVA_IMG, MERVA_PACK}) {
    const test::TToolRun run = test::RunShell(test::ShellQuoted(tool));
    ASSERT_NE(run.output.find("usage:"), std::string::npos) << tool;
    EXPECT_NE(authors.find("```\n" + run.output + "```\n"), std::string::npos)
        << "docs/authors.md does not hold, as one block, what " << tool << " prints:\n"
        << run.output;
  }
}

}  // namespace
}  // namespace merva
