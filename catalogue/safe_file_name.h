#pragma once
// Which names from the catalogue may be used as file names inside the firmware folder.

#include <string>

namespace catalogue {

// The names the loader keeps for its own files in the firmware folder: the catalogue, and the
// downloads, each written to kTemporaryPrefix + six characters before it takes its name.
inline constexpr const char* kCatalogueFile = "vornet_verinfo.xml";
inline constexpr const char* kTemporaryPrefix = ".vordl-";

// A file name from the catalogue that may be used as a path inside the firmware folder.
bool IsSafeFileName(const std::string& name);

// A name the loader keeps for its own files in the firmware folder: the catalogue's, and every
// name beginning like its temporary download files. Compared byte for byte, as the folder's
// file system does.
bool IsReservedFileName(const std::string& name);

// A name that may be a product's firmware file: safe, and not reserved.
bool IsFirmwareFileName(const std::string& name);

}  // namespace catalogue
