// vorloader.exe: the loader's window on Windows. Reads its command line as the Linux window
// does (refusing a bad one before any window), prepares the firmware folder, shows the main
// dialog until it closes, and ends. It stores no settings.

// shellapi.h needs what windows.h defines first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/options.h"
#include "app/site_control.h"
#include "device/wire_trace.h"
#include "platform/serial_port.h"
#include "window/command_line.h"
#include "window/loader_workflows.h"
#include "window/program_start.h"
#include "window/record_keeping_start.h"
#include "window/resource_script.h"
#include "window/win32/main_window.h"
#include "window/win32/wide_text.h"

#ifndef VOR_VERSION
#error "VOR_VERSION must name the program version"
#endif

namespace {

// The layout is compiled in as this RCDATA resource (vorloader.rc).
constexpr int kLayoutResourceId = 200;

std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(window::win32::ToUtf8(argv[i]));
  LocalFree(argv);
  return args;
}

// The executable's name without ".exe": the caption of every message box.
std::wstring ProgramName() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return L"vorloader";
  path.resize(n);
  const std::wstring stem = std::filesystem::path(path).stem().wstring();
  return stem.empty() ? L"vorloader" : stem;
}

window::ResourceScriptResult LoadLayout(HINSTANCE instance) {
  HRSRC found =
      FindResourceW(instance, MAKEINTRESOURCEW(kLayoutResourceId), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(instance, found);
  const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
  if (data == nullptr) {
    window::ResourceScriptResult missing;
    missing.error = "the window layout is not in the program";
    return missing;
  }
  return window::ParseResourceScript(
      std::string_view(static_cast<const char*>(data), SizeofResource(instance, found)));
}

// Said where a person sees it: on standard error when there is one, and in a box.
void Tell(const std::wstring& caption, const std::string& text, bool box) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  if (box) MessageBoxW(nullptr, window::win32::FromUtf8(text).c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace

int main() {
  const std::wstring name = ProgramName();
  const window::WindowParse parsed = window::ParseWindowCommandLine(Arguments());
  if (!parsed.ok()) {
    Tell(name, parsed.error + "\n", false);
    return window::kExitUsage;
  }
  if (parsed.line.help) {
    std::fputs(window::UsageText().c_str(), stdout);
    return 0;
  }
  if (parsed.line.version) {
    std::fputs("vorloader " VOR_VERSION "\n", stdout);
    return 0;
  }
  if (parsed.line.station) {
    Tell(name, "vorloader: the station window is not in the Windows build; use vorloader-cli station\n",
         false);
    return window::kExitUsage;
  }

  HINSTANCE instance = GetModuleHandleW(nullptr);
  const window::ResourceScriptResult layout = LoadLayout(instance);
  if (!layout.script) {
    Tell(name, "vorloader: " + layout.error + "\n", true);
    return 1;
  }

  const app::Options options = window::DecodedOptions(parsed.line.options);
  const app::FirmwareFolder folder = app::OpenFirmwareFolder();
  window::win32::MainWindow dialog(*layout.script, name, options);
  const auto opener = platform::MakeSystemPortOpener();
  app::FirmwareSet firmware(options, folder);
  // Run records go on to the record database, if one is named, while the window is open.
  const auto records = window::StartRecordKeeping(dialog.view());
  app::DeviceSession session(firmware, dialog.view(), *opener);
  session.SetRecordSink(records->sink());
  session.SetWireTrace(device::WireTraceFromEnvironment());  // VORLOADER_TRACE, read once
  // Who runs it, for the records: VORLOADER_OPERATOR, read once.
  auto site = std::make_shared<app::SiteControl>();
  site->operatorName = app::ProcessEnvironment()("VORLOADER_OPERATOR").value_or("");
  session.SetSiteControl(site);
  window::LoaderWorkflows workflows(firmware, session, *opener, dialog.view());
  dialog.SetWorkflows(&workflows);
  if (dialog.Run(instance) < 0) {
    Tell(name, "vorloader: the window could not be made (error " + std::to_string(GetLastError()) + ")\n",
         true);
    return 1;
  }
  return 0;
}
