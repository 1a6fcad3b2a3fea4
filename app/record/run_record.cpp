#include "app/record/run_record.h"

#include <cstdio>

#ifndef VOR_VERSION
#error "VOR_VERSION must name the program version"
#endif

namespace app {

namespace {

void AppendJsonString(std::string& out, std::string_view latin1) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else if (c >= 0x80) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += ch;
    }
  }
  out += '"';
}

void AppendOptionalString(std::string& out, const std::optional<std::string>& text) {
  if (text)
    AppendJsonString(out, *text);
  else
    out += "null";
}

void AppendKey(std::string& out, std::string_view key) {
  if (out.size() > 1) out += ',';
  out += '"';
  out += key;
  out += "\":";
}

}  // namespace

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ToJsonLine(const RunRecord& r) {
  std::string out = "{";
  AppendKey(out, "time");
  AppendJsonString(out, r.time);
  AppendKey(out, "workflow");
  AppendJsonString(out, r.workflow);
  AppendKey(out, "port");
  AppendJsonString(out, r.port);
  AppendKey(out, "path");
  AppendJsonString(out, r.path);
  AppendKey(out, "device_id");
  out += r.deviceId ? std::to_string(*r.deviceId) : std::string("null");
  AppendKey(out, "product");
  AppendOptionalString(out, r.product);
  AppendKey(out, "version_before");
  AppendOptionalString(out, r.versionBefore);
  AppendKey(out, "version_after");
  AppendOptionalString(out, r.versionAfter);
  AppendKey(out, "file");
  AppendOptionalString(out, r.file);
  AppendKey(out, "sha256");
  AppendOptionalString(out, r.sha256);
  AppendKey(out, "code");
  out += std::to_string(r.code);
  AppendKey(out, "result");
  AppendJsonString(out, r.result);
  AppendKey(out, "duration_ms");
  out += std::to_string(r.durationMs);
  AppendKey(out, "loader");
  AppendJsonString(out, r.loader);
  AppendKey(out, "run_id");
  AppendJsonString(out, r.runId);
  AppendKey(out, "station");
  AppendJsonString(out, r.station);
  out += '}';
  return out;
}

std::string UtcTimeText(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(when);
  const auto day = floor<days>(seconds);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> clock{seconds - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string LoaderVersion() {
  return VOR_VERSION;
}

}  // namespace app
