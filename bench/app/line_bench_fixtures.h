#pragma once
// What the production-line and station benchmarks share: the catalogue of their firmware
// folder and the process's CPU clock.

#include <sys/resource.h>

#include <string>

namespace bench {

// The catalogue of the firmware folder: one product "VN_Amp" (code 0a1b) at 1.80 in amp.hex.
inline std::string Catalogue() {
  return "<?xml version=\"1.0\"?>\r\n<VORNET_VERSIONS><VORNET_UPDATE_FOLDER_URL>http://127.0.0.1:9"
         "</VORNET_UPDATE_FOLDER_URL></VORNET_VERSIONS>\r\n<VORNET_FIRM_VERSIONS>\r\n"
         "<VORNET_PRODUCT_CODES>VN_Amp=0a1b</VORNET_PRODUCT_CODES>\r\n<VORNET_FIRM_URL>http://127.0.0.1:9/fw"
         "</VORNET_FIRM_URL>\r\n<VOR_VN_Amp_V>1.80</VOR_VN_Amp_V>\r\n<VOR_VN_Amp_HEX>amp.hex</"
         "VOR_VN_Amp_HEX>\r\n"
         "</VORNET_FIRM_VERSIONS>\r\n";
}

// CPU time the whole process (every thread) has used so far.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace bench
