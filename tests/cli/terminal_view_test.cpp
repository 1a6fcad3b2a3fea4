// What the terminal view writes where: the log on stdout, status changes and boxes on stderr,
// the progress bar only on a terminal, and answers typed at a terminal.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "cli/output/bar_view.h"
#include "tests/support/fixtures/temp_dir.h"

namespace cli {
namespace {

using testing_support::ReadStream;

// A view over two temporary files, with typed input from a pipe.
struct Terminal {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int typed[2] = {-1, -1};
  InterruptState interrupts;

  Terminal() { EXPECT_EQ(::pipe(typed), 0); }
  ~Terminal() {
    std::fclose(out);
    std::fclose(err);
    ::close(typed[0]);
    if (typed[1] >= 0) ::close(typed[1]);
  }

  TerminalSetup Setup(Answers answers, bool errIsTerminal, bool inIsTerminal, bool errShowsTyping = false) {
    TerminalSetup s;
    s.out = out;
    s.err = err;
    s.inFd = typed[0];
    s.errIsTerminal = errIsTerminal;
    s.inIsTerminal = inIsTerminal;
    s.errShowsTyping = errShowsTyping;
    s.answers = answers;
    s.interrupts = &interrupts;
    s.columns = [] { return std::size_t{60}; };
    return s;
  }

  // The user types `text` and then closes the input.
  void Type(const std::string& text) {
    ASSERT_EQ(::write(typed[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(typed[1]);
    typed[1] = -1;
  }

  std::string Out() { return ReadStream(out); }
  std::string Err() { return ReadStream(err); }
};

bool HasControlBytes(const std::string& text) {
  for (char c : text)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) return true;
  return false;
}

TEST(TerminalView, LogGoesToStdoutAndStatusChangesToStderr) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, false, false));
    view.appendLog("1 Com Ports Found.");
    view.setMainStatus("Searching for Device.");
    view.setMainStatus("Searching for Device.");  // no change: not repeated
    view.setDeviceStatus("");                     // already empty: no change
    view.setPortStatus("No Connection");          // the port line starts as "No Connection"
    view.setPortStatus("Trying COM1 at 57600");
    view.setDeviceStatus("Device: VORnet Amp    ID: 11456    Version: V1.20");
    view.setDeviceStatus("");
    view.appendLog("   -Device Programed OK.");
    view.enableConnect(true);
    view.enableRawBoot(false);
  }
  EXPECT_EQ(t.Out(), "1 Com Ports Found.\n   -Device Programed OK.\n");
  EXPECT_EQ(t.Err(),
            "main: Searching for Device.\n"
            "port: Trying COM1 at 57600\n"
            "device: Device: VORnet Amp    ID: 11456    Version: V1.20\n"
            "device: \n");
}

TEST(TerminalView, DetailsAreNotesOnStderrAndNeverInTheLog) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, false, false));
    view.appendLog("Checking Online..Failed!");
    view.detail("http://127.0.0.1:1/x/vornet_verinfo.xml: connection refused\x1b[2J");
  }
  EXPECT_EQ(t.Out(), "Checking Online..Failed!\n");
  EXPECT_EQ(t.Err(), "note: http://127.0.0.1:1/x/vornet_verinfo.xml: connection refused?[2J\n");
}

TEST(TerminalView, DeviceTextCannotDriveTheTerminal) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, true, false));
    view.setDeviceStatus("Device: \x1b]0;owned\x07    ID: 1");
    view.appendLog("Missing->a\rb.hex.");
  }
  EXPECT_EQ(t.Err(), "device: Device: ?]0;owned?    ID: 1\n");
  EXPECT_EQ(t.Out(), "Missing->a?b.hex.\n");
}

struct BoxCase {
  Answers answers;
  bool answer;
  const char* yesNoLine;
};

class ScriptedAnswers : public ::testing::TestWithParam<BoxCase> {};

TEST_P(ScriptedAnswers, BoxesShowTextAndAnswer) {
  const BoxCase& c = GetParam();
  Terminal t;
  {
    BarView view(t.Setup(c.answers, false, /*inIsTerminal=*/true));
    EXPECT_EQ(view.askYesNo("Identical Versions.\n Reload?"), c.answer);
    view.tell("Switch Device off.   \r\n\r\nPress Ok Then Switch Device On.");
  }
  EXPECT_EQ(t.Err(), std::string(c.yesNoLine) +
                         "! Switch Device off.   \n\nPress Ok Then Switch Device On. [OK] ok\n");
  EXPECT_EQ(t.Out(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScriptedAnswers,
    ::testing::Values(BoxCase{Answers::Yes, true, "? Identical Versions.\n Reload? [Y/n] yes\n"},
                      BoxCase{Answers::No, false, "? Identical Versions.\n Reload? [Y/n] no\n"}));

TEST(TerminalView, AQuestionSaysWhatItIsAboutBeforeItIsAsked) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::Yes, false, false));
    EXPECT_TRUE(view.confirm("Load Hex Now?",
                             "Device: VORnet Amp (ID 11456)\nVersion now: V1.20\nVersion to load: V1.30\n"
                             "Port: COM3 (/dev/ttyUSB0)\nFile: amp\x1b[2J.hex"));
  }
  EXPECT_EQ(t.Err(),
            "note: Device: VORnet Amp (ID 11456)\nnote: Version now: V1.20\nnote: Version to load: V1.30\n"
            "note: Port: COM3 (/dev/ttyUSB0)\nnote: File: amp?[2J.hex\n? Load Hex Now? [Y/n] yes\n");
}

TEST(TerminalView, WithoutATerminalOnStdinEveryQuestionIsAnsweredNo) {
  Terminal t;
  t.Type("y\n");  // not read: stdin is not a terminal
  BarView view(t.Setup(Answers::Ask, false, /*inIsTerminal=*/false));
  EXPECT_FALSE(view.askYesNo("Load Hex Now?"));
  EXPECT_EQ(t.Err(), "? Load Hex Now? [Y/n] no\n");
}

struct TypedCase {
  const char* typed;
  bool answer;
  // Standard error as a file records it: the terminal's echo of the typing never reaches it.
  const char* record;
};

class TypedAnswers : public ::testing::TestWithParam<TypedCase> {};

TEST_P(TypedAnswers, AtATerminalYesIsTheDefault) {
  Terminal t;
  t.Type(GetParam().typed);
  BarView view(t.Setup(Answers::Ask, false, /*inIsTerminal=*/true));
  EXPECT_EQ(view.askYesNo("Load Hex Now?"), GetParam().answer);
  EXPECT_EQ(t.Err(), GetParam().record);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TypedAnswers,
    ::testing::Values(
        TypedCase{"\n", true, "? Load Hex Now? [Y/n] yes\n"},
        TypedCase{"y\n", true, "? Load Hex Now? [Y/n] yes\n"},
        TypedCase{"  YES \n", true, "? Load Hex Now? [Y/n] yes\n"},
        TypedCase{"n\n", false, "? Load Hex Now? [Y/n] no\n"},
        TypedCase{"No\n", false, "? Load Hex Now? [Y/n] no\n"},
        TypedCase{"maybe\ny\n", true, "? Load Hex Now? [Y/n] maybe\nPlease answer y or n. [Y/n] yes\n"},
        TypedCase{"maybe\nn\n", false, "? Load Hex Now? [Y/n] maybe\nPlease answer y or n. [Y/n] no\n"},
        TypedCase{"", false, "? Load Hex Now? [Y/n] no\n"},  // end of input
        TypedCase{"n", false, "? Load Hex Now? [Y/n] no\n"}));

TEST(TerminalView, OnTheTerminalItselfTheTypedAnswerIsNotRepeated) {
  Terminal t;
  t.Type("n\n\n");
  {
    BarView view(t.Setup(Answers::Ask, false, /*inIsTerminal=*/true, /*errShowsTyping=*/true));
    EXPECT_FALSE(view.askYesNo("Load Hex Now?"));
    view.tell("Programing Complete.");
  }
  EXPECT_EQ(t.Err(), "? Load Hex Now? [Y/n] ! Programing Complete. [OK: press Enter] ");
}

TEST(TerminalView, AnOkBoxAnsweredAtATerminalIsRecordedOnAFile) {
  Terminal t;
  t.Type("\n");
  {
    BarView view(t.Setup(Answers::Ask, false, /*inIsTerminal=*/true));
    view.tell("Programing Complete.");
  }
  EXPECT_EQ(t.Err(), "! Programing Complete. [OK: press Enter] ok\n");
}

TEST(TerminalView, TypedAnswerAsksAgainAfterNonsense) {
  Terminal t;
  t.Type("maybe\n\n");
  BarView view(t.Setup(Answers::Ask, false, true));
  EXPECT_TRUE(view.askYesNo("Load Hex Now?"));
  EXPECT_NE(t.Err().find("Please answer y or n."), std::string::npos);
}

TEST(TerminalView, StopRequestEndsTheWaitForAnAnswerWithNo) {
  Terminal t;  // nothing is typed and the input stays open
  t.interrupts.OnPress();
  BarView view(t.Setup(Answers::Ask, false, true));
  EXPECT_TRUE(view.stopRequested());
  EXPECT_FALSE(view.askYesNo("Load Hex Now?"));
  view.tell("Programing Complete.");  // returns as well
}

// An image stream of 1000 bytes in 50-byte chunks, reported as the device steps report it.
void Stream(TerminalView& view) {
  view.transferActive(true);
  view.setMainStatus("Waiting for Erase to Complete.");
  view.setMainStatus("Sending Hex file 0% done");
  for (std::size_t sent = 50; sent <= 1000; sent += 50) {
    char text[64];
    std::snprintf(text, sizeof text, "Sending Hex file %.1f%% done",
                  static_cast<double>(sent) * 100.0 / 1000.0);
    view.setMainStatus(text);
    view.progress(StreamProgress{sent, 1000, static_cast<double>(sent) / 10.0});
  }
  view.setDeviceStatus("..");
  view.transferActive(false);
  view.setMainStatus("Waiting for device to reboot");
}

TEST(TerminalView, WithoutATerminalThereIsNoBarAndEveryStatusChangeIsALine) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, /*errIsTerminal=*/false, false));
    Stream(view);
  }
  const std::string err = t.Err();
  EXPECT_FALSE(HasControlBytes(err)) << err;
  EXPECT_NE(err.find("main: Sending Hex file 5.0% done\n"), std::string::npos);
  EXPECT_NE(err.find("main: Sending Hex file 100.0% done\ndevice: ..\nmain: Waiting for device to reboot\n"),
            std::string::npos);
  EXPECT_EQ(err.find("bytes"), std::string::npos);
}

TEST(TerminalView, OnATerminalTheBarShowsTheStreamAndTheLastStatusFollowsIt) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, /*errIsTerminal=*/true, false));
    Stream(view);
  }
  const std::string err = t.Err();
  EXPECT_NE(err.find("\r\x1b[K["), std::string::npos);
  EXPECT_NE(err.find("100.0%  1000/1000 bytes  0:00 left\n"), std::string::npos) << err;
  // The counting texts are folded into the bar; the last one is printed once it ends.
  EXPECT_EQ(err.find("main: Sending Hex file 50.0% done"), std::string::npos);
  EXPECT_NE(
      err.find("\nmain: Sending Hex file 100.0% done\ndevice: ..\nmain: Waiting for device to reboot\n"),
      std::string::npos)
      << err;
}

// A log file of a long stream gets one line per whole percent, not one per 50-byte chunk.
// A stream of 1000 chunks as the device reports it: the numbers, then the chunk's status text.
void StreamThousandChunks(TerminalView& view, const std::function<std::string(int)>& textOf) {
  view.transferActive(true);
  view.setMainStatus("Sending Hex file 0% done");
  for (int tenth = 1; tenth <= 1000; ++tenth) {
    view.progress(StreamProgress(static_cast<std::size_t>(tenth), 1000, tenth / 10.0));
    view.setMainStatus(textOf(tenth));
  }
  view.transferActive(false);
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(TerminalView, WithoutATerminalTheStreamIsOneLinePerPercent) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, /*errIsTerminal=*/false, false));
    StreamThousandChunks(view, [](int tenth) {
      char text[64];
      std::snprintf(text, sizeof text, "Sending Hex file %.1f%% done", tenth / 10.0);
      return std::string(text);
    });
    view.setMainStatus("Waiting for device to reboot");
    view.transferActive(true);
    view.setMainStatus("Sending Hex file 0% done");  // a second stream starts counting afresh
  }
  const std::string err = t.Err();
  // "0%" (0.1 to 0.9 are still 0 percent), the first tenth of every whole percent 1..99,
  // "100.0%", and the second "0%".
  EXPECT_EQ(Count(err, "main: Sending Hex file "), 1u + 99u + 1u + 1u) << err;
  EXPECT_NE(err.find("main: Sending Hex file 0% done\nmain: Sending Hex file 1.0% done\n"),
            std::string::npos);
  EXPECT_NE(err.find("main: Sending Hex file 1.0% done\nmain: Sending Hex file 2.0% done\n"),
            std::string::npos);
  EXPECT_NE(err.find("main: Sending Hex file 100.0% done\nmain: Waiting for device to reboot\n"
                     "main: Sending Hex file 0% done\n"),
            std::string::npos)
      << err;
}

// The numbers decide, whatever the text says: a text with no percent in it is written once per
// whole percent of the stream too, and the same texts outside a stream are all written.
TEST(TerminalView, TheStreamsNumbersDecideNotItsWording) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, /*errIsTerminal=*/false, false));
    StreamThousandChunks(view, [](int tenth) { return "chunk " + std::to_string(tenth); });
    for (int i = 1; i <= 3; ++i) view.setMainStatus("Sending Hex file 5" + std::to_string(i) + ".0% done");
  }
  const std::string err = t.Err();
  EXPECT_EQ(Count(err, "main: chunk "), 100u) << err;
  EXPECT_NE(err.find("main: chunk 10\n"), std::string::npos);
  EXPECT_EQ(err.find("main: chunk 11\n"), std::string::npos);
  EXPECT_EQ(Count(err, "main: Sending Hex file 5"), 3u) << err;
}

TEST(TerminalView, OnATerminalTheCountdownIsOneLiveLine) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, /*errIsTerminal=*/true, false));
    view.countdown(10, 10);
    view.countdown(9, 10);
    view.setDeviceStatus("Device: Amp");  // a line in between keeps the countdown below it
    view.countdown(8, 10);
    view.countdown(0, 10);
    view.setMainStatus("Banner Found");
  }
  EXPECT_EQ(t.Err(),
            "\r\x1b[KWaiting for the device: 10 s left\r\x1b[KWaiting for the device: 9 s left"
            "\r\x1b[Kdevice: Device: Amp\n\r\x1b[KWaiting for the device: 9 s left"
            "\r\x1b[KWaiting for the device: 8 s left\r\x1b[Kmain: Banner Found\n");
}

TEST(TerminalView, OffATerminalTheCountdownSaysNothing) {
  Terminal t;
  {
    BarView view(t.Setup(Answers::No, /*errIsTerminal=*/false, false));
    for (int left = 10; left >= 0; --left) view.countdown(left, 10);
  }
  EXPECT_EQ(t.Err(), "");
}

TEST(TerminalView, QuietHoldsTheLogAndDropsStatusLines) {
  Terminal t;
  {
    TerminalSetup setup = t.Setup(Answers::Yes, /*errIsTerminal=*/true, false);
    setup.quiet = true;
    BarView view(setup);
    view.setMainStatus("Searching Valid Com Ports.");
    view.appendLog("1 Com Ports Found.");
    view.countdown(5, 10);
    view.progress({500, 1000, 50.0});
    view.detail("why it failed");
    EXPECT_TRUE(view.askYesNo("Load Hex Now?"));
    view.appendLog("   -Device Programed OK.");
    EXPECT_EQ(view.heldLog(), (std::vector<std::string>{"1 Com Ports Found.", "   -Device Programed OK."}));
    EXPECT_TRUE(view.Noted("it fail"));
    EXPECT_FALSE(view.Noted("other"));
  }
  EXPECT_EQ(t.Out(), "");
  // Questions and details still reach the user; status, bar and countdown do not.
  EXPECT_EQ(t.Err(), "note: why it failed\n? Load Hex Now? [Y/n] yes\n");
}

TEST(TerminalView, TransferStateReachesTheInterruptHandling) {
  Terminal t;
  BarView view(t.Setup(Answers::No, false, false));
  view.transferActive(true);
  EXPECT_EQ(t.interrupts.OnPress(), InterruptState::Press::Warn);
  EXPECT_FALSE(view.stopRequested());
  view.transferActive(false);
  EXPECT_EQ(t.interrupts.OnPress(), InterruptState::Press::Stop);
  EXPECT_TRUE(view.stopRequested());
}

}  // namespace
}  // namespace cli
