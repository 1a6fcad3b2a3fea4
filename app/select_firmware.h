#pragma once
// Choosing the product row that belongs to a device: its device tag joined with the catalogue.

#include <string>

#include "catalogue/product_table.h"
#include "common/load_result.h"
#include "device/link.h"
#include "device/steps.h"

namespace app {

// The first row whose file is usable and whose tag is `deviceTag`, or -1.
int FindProductRow(const catalogue::ProductTable& table, const std::string& deviceTag);

// RESULT_OK, RESULT_NO_HEX_FILE, RESULT_SAME_VERSION or RESULT_DEVICE_NEWER; sets m_nProduct
// on a match.
LoadResult SelectFirmware(const device::Identity& id, const catalogue::ProductTable& table, int& m_nProduct);

// What row `row` programs a device with.
device::FirmwareTarget TargetOf(const catalogue::ProductTable& table, std::size_t row);

}  // namespace app
