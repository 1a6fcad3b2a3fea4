#pragma once
// The window's record database: when VORLOADER_RECORD_DB names one, a background worker
// delivers the run records to it for as long as the window is open.

#include <memory>

#include "app/record/record_file.h"
#include "app/record_db/record_delivery.h"
#include "common/loader_view.h"

namespace window {

// The delivery, started; nullptr when no database is named, when the variable cannot be read
// (told to `view` as a detail line) or when run records are off. Refusals of the database are
// told to `view`, from the worker's thread: `view` must be callable from any thread and
// outlive the delivery.
std::unique_ptr<app::RecordDelivery> StartRecordDelivery(
    LoaderView& view, const app::Environment& env = app::ProcessEnvironment());

}  // namespace window
