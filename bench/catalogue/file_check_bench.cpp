// The offline check of a full firmware folder (32 products, 512 KiB encrypted files, all
// present and correct) against decrypting the same bytes with the firmware cipher alone.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/file_check.h"
#include "image/firmware_cipher.h"
#include "tests/catalogue/fixtures/firmware_fixture.h"
#include "tests/support/fixtures/product_rows.h"
#include "tests/support/recording_view.h"

namespace {

constexpr std::size_t kProducts = catalogue::kMaxProducts;
constexpr std::size_t kFileBytes = 512 * 1024;
// A data record of 16 bytes takes 45 characters of Intel HEX text.
constexpr std::size_t kDataBytes = kFileBytes * 16 / 45;

enum TagPlace { kTagNearStart = 0, kTagNearEnd = 1 };

struct Folder {
  testing_support::TempDir dir{"vor-check-bench"};
  catalogue::ProductTable table;
  std::vector<std::string> encrypted;  // the files' bytes, for the cipher alone
};

// One folder per tag place, made once: the files are large and the encryption is slow.
const Folder& FolderWithTagAt(TagPlace place) {
  static std::unique_ptr<Folder> folders[2];
  auto& f = folders[place];
  if (f) return *f;
  f = std::make_unique<Folder>();
  f->table.m_nProducts = kProducts;
  for (std::size_t i = 0; i < kProducts; ++i) {
    char code[5];
    std::snprintf(code, sizeof code, "%04zx", i + 0x100);
    const std::string tag = std::string("VOR_T") + code + "_V";
    const std::string file = "fw" + std::to_string(i) + ".hex";
    const std::size_t at = place == kTagNearStart ? 40 : kDataBytes - 64;
    const std::string bytes = testing_support::EncryptAsFirmware(
        testing_support::HexText(catalogue_fixtures::FirmwareData(tag + "1.70", at, kDataBytes)));
    testing_support::WriteFile(f->dir.Path(file), bytes);
    f->encrypted.push_back(bytes);
    testing_support::SetProductRow(f->table, i, {.code = code, .version = "1.70", .file = file});
  }
  return *f;
}

std::int64_t TotalBytes(const Folder& f) {
  std::int64_t n = 0;
  for (const auto& bytes : f.encrypted) n += static_cast<std::int64_t>(bytes.size());
  return n;
}

void BM_FileCheckOffline(benchmark::State& state) {
  const Folder& f = FolderWithTagAt(static_cast<TagPlace>(state.range(0)));
  for (auto _ : state) {
    catalogue::ProductTable table = f.table;
    for (std::size_t i = 0; i < kProducts; ++i) table.m_prodState[i] = catalogue::Needed;
    testing_support::RecordingView view;
    const int good = catalogue::CheckFirmwareFiles(f.dir.Path(""), table, "", true, false, view);
    if (good != static_cast<int>(kProducts)) state.SkipWithError("a fixture file did not pass the check");
    benchmark::DoNotOptimize(good);
  }
  state.SetBytesProcessed(state.iterations() * TotalBytes(f));
}

void BM_DecryptOnly(benchmark::State& state) {
  const Folder& f = FolderWithTagAt(static_cast<TagPlace>(state.range(0)));
  std::vector<std::uint8_t> out(kFileBytes + 64);
  image::CFirmwareCipher cipher;
  for (auto _ : state) {
    for (const auto& bytes : f.encrypted) {
      if (out.size() < bytes.size()) out.resize(bytes.size());
      if (!cipher.PrepareFileKey() || !cipher.DecryptCbc(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                         out.data(), bytes.size() / 16))
        state.SkipWithError("decryption failed");
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * TotalBytes(f));
}

BENCHMARK(BM_FileCheckOffline)->Arg(kTagNearStart)->Arg(kTagNearEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptOnly)->Arg(kTagNearStart)->Arg(kTagNearEnd)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
