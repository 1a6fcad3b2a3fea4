#pragma once
// The simulator's command line: which device it plays, where its port appears, its timing
// and the one fault it is told to show.

#include <optional>
#include <string>
#include <vector>

#include "sim/device_frames.h"

namespace sim {

struct Faults {
  bool silent = false;                  // answers nothing at all
  bool shortIdentify = false;           // identify reply cut to 20 bytes
  bool badIdentifyChecksum = false;     // identify reply with a wrong 7-bit sum
  bool wrongSignature = false;          // device reply with a foreign signature
  bool noAuthReply = false;             // authentication never answered
  bool badAuthChecksum = false;         // authentication reply with a wrong 7-bit sum
  std::optional<CodeBytes> bannerCode;  // boot banner with another product code
  bool noEraseReply = false;            // erase never answered
  bool neverRestart = false;            // after the stream, never comes back
  int restartAfterPolls = 0;            // after the stream, answers from this identify poll on
  // The device vanishes (its pty closes, the simulator ends): on the erase command, once
  // this many bytes of the image stream have come, or this long after the port was opened.
  bool hangUpOnErase = false;
  int hangUpAfterBytes = 0;
  int hangUpAfterOpenMs = -1;
};

struct SimOptions {
  std::string comDir;
  int port = 1;
  std::vector<int> rates{57600};
  IdBytes id{0x00, 0x00, 0x2c, 0xc0};
  LabelBytes label{};  // "VORnet Amp V1.20" unless given
  CodeBytes code{0x0a, 0x1b};
  std::string transcript;
  bool pace = false;
  bool rawBoot = false;
  int bootDelayMs = 200;
  int eraseMs = 300;
  int restartMs = 500;
  int bannerLength = 64;
  int authToleranceS = 300;
  Faults faults;
};

enum class ParseOutcome { Run, Help, Error };

// Fills `out` from the command line; on Error, `error` says what is wrong.
ParseOutcome ParseSimOptions(int argc, const char* const* argv, SimOptions& out, std::string& error);

const char* SimHelpText();

}  // namespace sim
