#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
  std::vector<const char*> arguments;  // after the program's path
  int action;
  InspectOptions options;  // when the action is OPTIONS_INSPECT
  std::string error;       // when it is OPTIONS_INVALID
};

TEST(ParseOptions, ReadsOptionsInAnyOrderBeforeTheImage) {
  const Case cases[] = {
      {{"package.img"}, OPTIONS_INSPECT, {false, false, "", "package.img", false, {}}, ""},
      {{"--json", "--extract", "out", "p.img"},
       OPTIONS_INSPECT,
       {true, true, "out", "p.img", false, {}},
       ""},
      {{"--extract", "out", "--json", "p.img"},
       OPTIONS_INSPECT,
       {true, true, "out", "p.img", false, {}},
       ""},
      {{"--extract", "--json", "p.img"},
       OPTIONS_INSPECT,
       {false, true, "--json", "p.img", false, {}},
       ""},
      {{"-"}, OPTIONS_INSPECT, {false, false, "", "-", false, {}}, ""},
      {{"--json", "p.img", "--against", "app.bin", "assets"},
       OPTIONS_INSPECT,
       {true, false, "", "p.img", true, {"app.bin", "assets"}},
       ""},
      // As corvane takes them: options and even a second --against are inputs here.
      {{"p.img", "--against", "--help", "--against", "-x", ""},
       OPTIONS_INSPECT,
       {false, false, "", "p.img", true, {"--help", "--against", "-x", ""}},
       ""},
      {{"--extract", "out", "p.img", "--against", "a"},
       OPTIONS_INSPECT,
       {false, true, "out", "p.img", true, {"a"}},
       ""},
      {{"p.img", "--against"}, OPTIONS_INVALID, {}, "--against needs at least one FILE_OR_DIR"},
      {{"--against", "a", "p.img"}, OPTIONS_INVALID, {}, "--against comes after IMAGE"},
      {{"--json", "--help"}, OPTIONS_HELP, {}, ""},
      {{"--version", "p.img"}, OPTIONS_VERSION, {}, ""},
      {{"p.img", "--help"}, OPTIONS_HELP, {}, ""},
      {{}, OPTIONS_INVALID, {}, "no IMAGE given"},
      {{"--json"}, OPTIONS_INVALID, {}, "no IMAGE given"},
      {{"-j", "p.img"}, OPTIONS_INVALID, {}, "unknown option -j"},
      {{"--extract"}, OPTIONS_INVALID, {}, "--extract needs a directory"},
      {{"--extract", "a", "--extract", "b", "p.img"}, OPTIONS_INVALID, {}, "--extract given twice"},
      {{"p.img", "--json"}, OPTIONS_INVALID, {}, "unexpected argument --json after IMAGE"},
      {{"p.img", "q.img"}, OPTIONS_INVALID, {}, "unexpected argument q.img after IMAGE"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> arguments = {"corvane-inspect"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    std::string trace;
    for (const char* argument : arguments) trace += std::string(" ") + argument;
    SCOPED_TRACE(trace);
    InspectOptions options;
    std::string error;
    ASSERT_EQ(c.action, parse_options(static_cast<int>(arguments.size()), arguments.data(),
                                      &options, &error));
    if (c.action == OPTIONS_INSPECT) {
      EXPECT_EQ(c.options.json, options.json);
      EXPECT_EQ(c.options.extract, options.extract);
      EXPECT_EQ(c.options.directory, options.directory);
      EXPECT_EQ(c.options.image, options.image);
      EXPECT_EQ(c.options.against, options.against);
      EXPECT_EQ(c.options.inputs, options.inputs);
    }
    EXPECT_EQ(c.error, error);
  }
}

}  // namespace
