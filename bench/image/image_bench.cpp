// Firmware decryption throughput, ours against OpenSSL's AES-192-CBC in the same run, and the
// decoding and scanning of a 1 MiB encrypted firmware file.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "image/firmware_cipher.h"
#include "image/firmware_decoder.h"
#include "image/firmware_key.h"
#include "image/hex_scan.h"
#include "tests/image/image_fixtures.h"
#include "tests/support/fixtures/firmware_text.h"
#include "tests/support/fixtures/temp_dir.h"

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

const std::string& CipherText() {
  static const std::string text = image_test::RandomBytes(kBufferBytes, 1);
  return text;
}

void OursCbcDecrypt(benchmark::State& state) {
  const std::string& in = CipherText();
  std::string out(in.size(), '\0');
  image::CFirmwareCipher cipher;
  cipher.PrepareFileKey();
  for (auto _ : state) {
    cipher.DecryptCbc(reinterpret_cast<const std::uint8_t*>(in.data()),
                      reinterpret_cast<std::uint8_t*>(out.data()), in.size() / 16);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(in.size()));
}
BENCHMARK(OursCbcDecrypt)->Unit(benchmark::kMillisecond);

void OpenSslCbcDecrypt(benchmark::State& state) {
  const std::string& in = CipherText();
  std::string out(in.size() + 16, '\0');
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
  for (auto _ : state) {
    int n = 0;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_192_cbc(), nullptr, key, iv) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n,
                          reinterpret_cast<const unsigned char*>(in.data()),
                          static_cast<int>(in.size())) != 1) {
      state.SkipWithError("OpenSSL decryption failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(in.size()));
}
BENCHMARK(OpenSslCbcDecrypt)->Unit(benchmark::kMillisecond);

// A 1 MiB encrypted firmware file whose version tag sits near its end, so the scan walks it all.
class LargeFirmwareFile {
 public:
  LargeFirmwareFile() : m_path(m_dir.Path("large.hex")) {
    std::string data = image_test::RandomBytes(360 * 1024, 2);
    for (char& c : data) c = c == '\0' ? '\x01' : c;  // no zero byte hides the tag
    data.replace(data.size() - 64, 15, "VOR_T00a1_V1.70");
    std::string text = testing_support::HexText(data);
    text.resize(kBufferBytes, '\n');  // the hex text is a little shorter than 1 MiB
    testing_support::WriteFile(m_path, testing_support::EncryptAsFirmware(text));
  }
  const std::string& Path() const { return m_path; }

 private:
  testing_support::TempDir m_dir;
  std::string m_path;
};

const LargeFirmwareFile& LargeFile() {
  static const LargeFirmwareFile file;
  return file;
}

void Decode1MiB(benchmark::State& state) {
  const std::string& path = LargeFile().Path();
  for (auto _ : state) {
    image::MemImage img;
    if (image::DecodeFirmwareFile(path, img) != image::DECODE_ENCRYPTED)
      state.SkipWithError("decoding failed");
    benchmark::DoNotOptimize(img.GetLength());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kBufferBytes));
}
BENCHMARK(Decode1MiB)->Unit(benchmark::kMillisecond);

void DecodeAndScan1MiB(benchmark::State& state) {
  const std::string& path = LargeFile().Path();
  for (auto _ : state) {
    if (image::ScanHexImage("VOR_T00a1_V", path).tag != "VOR_T00a1_V1.70")
      state.SkipWithError("tag not found");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kBufferBytes));
}
BENCHMARK(DecodeAndScan1MiB)->Unit(benchmark::kMillisecond);

// The console report, followed by our decryption speed as a share of OpenSSL's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions the median, reported after the single runs, is the figure kept.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) m_rates[run.run_name.str()] = it->second.value;
    }
  }
  void Summarise() const {
    const auto ours = m_rates.find("OursCbcDecrypt");
    const auto theirs = m_rates.find("OpenSslCbcDecrypt");
    if (ours == m_rates.end() || theirs == m_rates.end() || theirs->second <= 0) return;
    const char* cap = std::getenv("OPENSSL_ia32cap");
    std::printf("AES-192-CBC decryption (OpenSSL %s): ours %.1f MB/s, OpenSSL %.1f MB/s, ours/OpenSSL %.2f\n",
                cap != nullptr ? "with AES-NI masked" : "default path", ours->second / 1e6,
                theirs->second / 1e6, ours->second / theirs->second);
  }

 private:
  std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Summarise();
  benchmark::Shutdown();
  return 0;
}
