#pragma once
// The scratch world of the terminal front end's end-to-end tests: the COM folder, the program
// data folder and a local web server publishing the catalogue and a firmware file, simulated
// devices on its ports and the real vorloader-cli run against them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/cli/cli_process.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/http/http_test_server.h"
#include "tests/support/sim/sim_process.h"

namespace testing_support {

using Lines = std::vector<std::string>;

inline constexpr const char* kCode = "0a1b";           // the simulated device's product code
inline constexpr const char* kDeviceVersion = "1.20";  // from its label "VORnet Amp V1.20"
inline constexpr const char* kNewer = "1.30";

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline bool HasTerminalControls(const std::string& text) {
  return Contains(text, "\r") || Contains(text, "\x1b");
}

// Whether `device` logged a line of `kind` at least `seconds` ago (by the transcript's
// CLOCK_MONOTONIC time): for a signal that must come a while after a step, not at its cue.
inline bool LoggedSecondsAgo(const SimProcess& device, const std::string& kind, double seconds) {
  const std::vector<std::string> lines = device.Lines(kind);
  if (lines.empty()) return false;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const double at = std::stod(JsonField(lines.front(), "mono"));
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 >= at + seconds;
}

// A scratch world: the COM folder, the program data folder and the web server's folder.
class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_dir.path.empty());
    for (const std::string& d : {ComDir(), ProgramData(), WebRoot(), WebRoot() + "/fw"})
      ASSERT_EQ(::mkdir(d.c_str(), 0755), 0) << d;
    ASSERT_TRUE(m_server.Start()) << "cannot start the local web server";
  }

  std::string ComDir() const { return m_dir.path + "/com"; }
  std::string ProgramData() const { return m_dir.path + "/programdata"; }
  std::string WebRoot() const { return m_dir.path + "/web"; }
  std::string FirmwareFolder() const { return ProgramData() + "/VORnet"; }

  // The catalogue naming one product at `version`, written into `folder`.
  void WriteCatalogue(const std::string& folder, const std::string& version) const {
    std::ofstream f(folder + "/vornet_verinfo.xml", std::ios::binary);
    f << "<?xml version=\"1.0\"?>\r\n<VORNET>\r\n"
      << "<VORNET_VERSIONS><VORNET_UPDATE_FOLDER_URL>" << m_server.url()
      << "</VORNET_UPDATE_FOLDER_URL></VORNET_VERSIONS>\r\n"
      << "<VORNET_FIRM_VERSIONS>\r\n<VORNET_PRODUCT_CODES>VORnet_Amp=" << kCode
      << "</VORNET_PRODUCT_CODES>\r\n"
      << "<VORNET_FIRM_URL>" << m_server.url() << "/fw</VORNET_FIRM_URL>\r\n"
      << "<VOR_VORnet_Amp_V>" << version << "</VOR_VORnet_Amp_V>\r\n"
      << "<VOR_VORnet_Amp_HEX>amp.hex</VOR_VORnet_Amp_HEX>\r\n</VORNET_FIRM_VERSIONS>\r\n</VORNET>\r\n";
  }

  // The server offers the catalogue and an encrypted firmware file of `version`.
  void Publish(const std::string& version, std::size_t size = 4096) const {
    WriteCatalogue(WebRoot(), version);
    ASSERT_TRUE(PackFirmware(WebRoot() + "/fw/amp.hex", kCode, version, true, size));
  }

  // A simulated device on COM`port`, quick to erase and restart.
  std::unique_ptr<SimProcess> StartDevice(int port = 1, std::vector<std::string> extra = {},
                                          std::vector<int> rates = {57600}) const {
    SimConfig config;
    config.port = port;
    config.rates = std::move(rates);
    config.extraArgs = {"--erase-ms", "20", "--restart-ms", "50", "--banner-length", "75"};
    config.extraArgs.insert(config.extraArgs.end(), extra.begin(), extra.end());
    auto sim = std::make_unique<SimProcess>(ComDir(), config);
    EXPECT_TRUE(sim->Ready()) << sim->Error();
    return sim;
  }

  CliResult Run(std::vector<std::string> args, bool onTerminal = false, std::vector<Typing> typing = {},
                std::vector<std::string> interrupts = {}, std::vector<std::string> launcher = {},
                int interruptSignal = SIGINT, std::function<bool()> interruptReady = nullptr) const {
    CliRun run;
    run.interruptSignal = interruptSignal;
    run.interruptReady = std::move(interruptReady);
    run.args = std::move(args);
    run.launcher = std::move(launcher);
    run.onTerminal = onTerminal;
    run.typing = std::move(typing);
    run.interrupts = std::move(interrupts);
    return RunIn(std::move(run));
  }

  // `run` in this world: its ports, its program data, its web server.
  CliResult RunIn(CliRun run) const {
    run.env.insert(run.env.end(), {{"VORLOADER_COM_DIR", ComDir()},
                                   {"VORLOADER_PROGRAMDATA", ProgramData()},
                                   {"VORLOADER_UPDATE_URL", m_server.url()}});
    CliResult r = RunCli(run);
    EXPECT_FALSE(r.timedOut) << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
    return r;
  }

  TempDir m_dir{"vor-cli"};
  HttpTestServer m_server{m_dir.path + "/web"};
};

inline std::string Dump(const CliResult& r) {
  return "stdout:\n" + r.out + "\nstderr:\n" + r.err;
}

}  // namespace testing_support
