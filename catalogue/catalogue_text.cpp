// The catalogue is not parsed as XML: it is text searched for literal start and end tags.

#include "catalogue/catalogue_text.h"

#include <cstdio>
#include <memory>

#include "catalogue/safe_file_name.h"

namespace catalogue {

std::optional<std::string> FindTag(const std::string& element, const std::string& source) {
  const std::string open = "<" + element + ">";
  const std::string close = "</" + element + ">";
  const std::size_t p = source.find(open);
  if (p == std::string::npos) return std::nullopt;
  const std::size_t start = p + open.size();
  const std::size_t q = source.find(close, start);
  if (q == std::string::npos) return std::nullopt;
  return source.substr(start, q - start);
}

std::string ExtractTag(const std::string& element, const std::string& source) {
  return FindTag(element, source).value_or(std::string());
}

std::string ReadCatalogueText(const std::string& path) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return {};
  std::string raw(kCatalogueReadLimit, '\0');
  const std::size_t got = std::fread(raw.data(), 1, raw.size(), file.get());
  raw.resize(got);
  return DropControlBytes(raw);
}

std::string DropControlBytes(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) continue;
    text.push_back(c);
  }
  return text;
}

std::string ReadCatalogueTag(const std::string& folder, const std::string& element, const std::string& file) {
  // Without a firmware folder there is no catalogue: never fall back to the working directory.
  if (folder.empty() || !IsSafeFileName(file)) return {};
  return ExtractTag(element, ReadCatalogueText(folder + file));
}

}  // namespace catalogue
