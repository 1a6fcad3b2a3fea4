#pragma once
// The catalogue file "vornet_verinfo.xml" read as text: it is not parsed as XML but searched
// for literal start and end tags, and only its first 8,192 bytes are ever looked at.

#include <cstddef>
#include <optional>
#include <string>

#include "catalogue/safe_file_name.h"

namespace catalogue {

// Only the start of a catalogue file is ever looked at.
inline constexpr std::size_t kCatalogueReadLimit = 8192;

// The raw text between the first "<element>" and the first "</element>" after it; nullopt
// when either tag is missing (an empty value is an empty text).
std::optional<std::string> FindTag(const std::string& element, const std::string& source);

// Value of `element` inside `source`, or "".
std::string ExtractTag(const std::string& element, const std::string& source);

// The first 8,192 bytes of the file with its control bytes dropped; "" when it cannot be read.
std::string ReadCatalogueText(const std::string& path);

// Drops the control bytes of the "C" locale (0x00-0x1F, 0x7F); every other byte is kept as is.
std::string DropControlBytes(const std::string& raw);

// Value of `element` in the first 8,192 bytes of folder + file (control bytes dropped), or "".
std::string ReadCatalogueTag(const std::string& folder, const std::string& element, const std::string& file);

}  // namespace catalogue
