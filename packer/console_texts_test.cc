#include "console_texts.h"

#include <gtest/gtest.h>

#include "status.h"

namespace {

PlanStep input_step(const int verdict, const std::string& path, const std::int64_t size,
                    const std::string& entry_name = "") {
  PlanStep step{};
  step.kind = STEP_INPUT;
  step.verdict = verdict;
  step.path = path;
  step.entry_name = entry_name;
  step.size = size;
  return step;
}

TEST(StepText, IsWhatTheConsoleShowsBeforePacking) {
  PlanStep directory{};
  directory.kind = STEP_DIRECTORY;
  directory.path = "d";
  PlanStep unlisted = directory;
  unlisted.verdict = STATUS_CANNOT_LIST;
  PlanStep file = input_step(STATUS_OK, "d/a.txt", 3, "a.txt");
  file.node_name = "a.txt";
  PlanStep firmware = input_step(STATUS_OK, "app.bin", 6144);
  firmware.is_firmware = true;
  PlanStep big = input_step(STATUS_FIRMWARE_TOO_BIG, "app.bin", 126977);
  big.is_firmware = true;
  struct Case {
    PlanStep step;
    std::string text;
    std::string refusal;
  };
  const Case cases[] = {
      {directory, "d is a directory, diving ...\n", ""},
      {unlisted, "Can NOT open directory.\r\n", "Can NOT open directory.\r\n"},
      {input_step(STATUS_CANNOT_STAT, "", -1), "Can NOT stat .", "Can NOT stat ."},
      {file, "File a.txt ...\r\nProcessing d/a.txt (3B) ...\r\nPacking as a.txt ...\r\n", ""},
      {firmware, "Processing app.bin (6144B) ...\r\nFirmware size: 6144B (Remains: 120832B)\r\n",
       ""},
      {big,
       "Processing app.bin (126977B) ...\r\n"
       "Firmware is too big for bootloader (126977B - 126976B = 1B) !\r\n",
       "Firmware is too big for bootloader (126977B - 126976B = 1B) !\r\n"},
      {input_step(STATUS_CANNOT_OPEN, "d/sub", -1, "sub"),
       "File sub ...\r\nCan NOT open d/sub !\r\n", "Can NOT open d/sub !\r\n"},
      {input_step(STATUS_OUTPUT_FILE, "./package.img", -1),
       "Can NOT pack ./package.img: it is the output file !\r\n",
       "Can NOT pack ./package.img: it is the output file !\r\n"},
      {input_step(STATUS_NAME_TOO_LONG, "name-of-16-chars", 1),
       "Processing name-of-16-chars (1B) ...\r\n"
       "Can NOT pack name-of-16-chars: name longer than 15 characters !\r\n",
       "Can NOT pack name-of-16-chars: name longer than 15 characters !\r\n"},
      {input_step(STATUS_FILE_TOO_LARGE, "huge", 2147483648),
       "Processing huge (2147483648B) ...\r\nCan NOT pack huge: larger than 2147483647 bytes !\r\n",
       "Can NOT pack huge: larger than 2147483647 bytes !\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, step_text(c.step)) << c.step.path;
    EXPECT_EQ(c.refusal, refusal_text(c.step)) << c.step.path;
  }
}

// Paths have no length limit of their own.
TEST(Formatted, HoldsTextsOfAnyLength) {
  const std::string path(5000, 'p');
  EXPECT_EQ("Can NOT stat " + path + ".", formatted("Can NOT stat %s.", path.c_str()));
  EXPECT_EQ("", formatted("%s", ""));
}

}  // namespace
