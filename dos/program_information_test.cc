#include "dos/program_information.h"

#include <string>
#include <utility>

#include "base/error.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace zindo {
namespace {

namespace layout = pif_layout;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::ThrowsMessage;

// A PIF as an editor would write it, with `value` put in the field at
// `offset` byte by byte so that faults the writer refuses can be made.
std::string PifWithField(std::size_t offset, std::size_t size,
                         const std::string& value) {
  std::string bytes = BuildProgramInformation({"X.EXE", "", ""});
  std::fill_n(bytes.begin() + offset, size, '\0');
  std::copy(value.begin(), value.end(), bytes.begin() + offset);
  return bytes;
}

std::string PifWithProgram(const std::string& program) {
  return PifWithField(layout::kProgram, layout::kProgramSize, program);
}

ProgramInformation Parse(const std::string& bytes) {
  return ParseProgramInformation(bytes, "AUTOEXEC.PIF");
}

TEST(ProgramInformationTest, WrittenFieldsReadBackAtTheirOffsets) {
  std::string bytes =
      BuildProgramInformation({"C:\\ZINDO\\ZINDO.EXE", "C:\\ZINDO", "/q 17"});

  ASSERT_EQ(bytes.size(), 545u);
  EXPECT_EQ(bytes.substr(0x24, 19), std::string("C:\\ZINDO\\ZINDO.EXE\0", 19));
  EXPECT_EQ(bytes.substr(0x65, 9), std::string("C:\\ZINDO\0", 9));
  EXPECT_EQ(bytes.substr(0xA5, 6), std::string("/q 17\0", 6));
  EXPECT_EQ(bytes.substr(0x02, 30), "ZINDO.EXE" + std::string(21, ' '));
  EXPECT_EQ(bytes.substr(0x171, 16), std::string("MICROSOFT PIFEX\0", 16));
  // Maximum and minimum memory, little-endian: 640 and 128 KB.
  EXPECT_EQ(bytes.substr(0x20, 4), std::string("\x80\x02\x80\x00", 4));
  // The low byte of the sum of bytes 0x02 to 0x170 (3848 for these fields:
  // summed from zindo-mkpif's file with od and awk).
  EXPECT_EQ(bytes[1], '\x08');

  ProgramInformation read = Parse(bytes);
  EXPECT_EQ(read.program, "C:\\ZINDO\\ZINDO.EXE");
  EXPECT_EQ(read.start_directory, "C:\\ZINDO");
  EXPECT_EQ(read.parameters, "/q 17");
  // The title, padded with spaces, reads back without them.
  EXPECT_EQ(read.title, "ZINDO.EXE");
  EXPECT_EQ(
      Parse(BuildProgramInformation({"Z.EXE", "", "", " Zindo Orders"})).title,
      "Zindo Orders");
}

TEST(ProgramInformationTest, DosPathsAndCodePageBytesReadBackUnchanged) {
  // "C:\<two CP862 letters>\GO.bat": bytes above 127 are not converted.
  const std::string program = "C:\\\x80\x9A\\go.bat";
  ProgramInformation read =
      Parse(BuildProgramInformation({program, "", "\x99\xA0"}));
  EXPECT_EQ(read.program, program);
  EXPECT_EQ(read.parameters, "\x99\xA0");
  EXPECT_EQ(Parse(BuildProgramInformation({"A.EXE", "", "", "\x80\x9A"})).title,
            "\x80\x9A");
  for (const std::string path :
       {"PROG.EXE", "d:prog.exe", "..\\X.BAT", "PROG.Com"}) {
    EXPECT_EQ(Parse(PifWithProgram(path)).program, path);
  }
}

// The reader refuses what an editor let through, naming the file and fault.
TEST(ProgramInformationTest, DamagedFilesAreRefused) {
  const std::string whole = BuildProgramInformation({"A.EXE", "", ""});
  // Exactly the DOS section is enough; one byte less is not.
  EXPECT_EQ(Parse(whole.substr(0, 0x171)).program, "A.EXE");
  const auto unterminated = [](std::size_t offset, std::size_t size,
                               const char* field) {
    return std::pair(PifWithField(offset, size, std::string(size, 'A')),
                     AllOf(HasSubstr(field), HasSubstr("no terminating zero")));
  };
  const std::pair<std::string, Matcher<std::string>> cases[] = {
      {whole.substr(0, 0x170),
       AllOf(HasSubstr("368 bytes"), HasSubstr("not a program info"))},
      unterminated(layout::kProgram, 63, "program field"),
      unterminated(layout::kStartDirectory, 64, "start directory field"),
      unterminated(layout::kParameters, 64, "parameters field"),
  };
  for (const auto& [bytes, message] : cases) {
    EXPECT_THAT(
        [&] { Parse(bytes); },
        ThrowsMessage<Error>(AllOf(HasSubstr("AUTOEXEC.PIF"), message)));
  }
  for (const std::string program :
       {"", "C:\\DIR\\", "C:/DIR/PROG.EXE", "PROG.TXT", "PROG", "C:\\A\tB.EXE",
        "1:\\PROG.EXE", "C:\\A:B.EXE", "C:\\DIR\\\\PROG.EXE", "P?.EXE",
        "A>B.EXE", ".EX"}) {
    EXPECT_THAT([&] { Parse(PifWithProgram(program)); },
                ThrowsMessage<Error>(AllOf(HasSubstr("AUTOEXEC.PIF"),
                                           HasSubstr("not a DOS path"))))
        << program;
  }
  // Known for a PIF by its content all the same, so that its fault is
  // named; a script as long as the DOS section is not one.
  EXPECT_TRUE(IsProgramInformation(PifWithProgram("PROG.TXT")));
  EXPECT_TRUE(IsProgramInformation(whole.substr(0, 0x171)));
  EXPECT_FALSE(IsProgramInformation(whole.substr(0, 0x170)));
  EXPECT_FALSE(IsProgramInformation("#!/bin/sh\n" + std::string(0x171, 'x')));
}

// The writer refuses what does not fit or would not read back.
TEST(ProgramInformationTest, WriterRefusesWhatWouldNotFitOrReadBack) {
  const std::pair<ProgramInformation, const char*> cases[] = {
      {{"A.EXE", "C:/X", ""}, "start directory"},
      {{"A.EXE", "", "a\rb"}, "control character"},
      {{std::string(59, 'A') + ".EXE", "", ""}, "at most 62 fit"},
      {{"A.EXE", "", std::string(64, 'p')}, "parameters"},
      {{"C:/A.EXE", "", ""}, "not a DOS path"},
      {{"A.EXE", "", "", std::string(31, 't')}, "at most 30 fit"},
  };
  for (const auto& [fields, message] : cases) {
    EXPECT_THAT([&] { BuildProgramInformation(fields); },
                ThrowsMessage<Error>(HasSubstr(message)))
        << message;
  }
}

}  // namespace
}  // namespace zindo
