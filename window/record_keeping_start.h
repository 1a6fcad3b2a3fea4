#pragma once
// The window's run records: the record file the rules choose and, when VORLOADER_RECORD_DB
// names one, the record database, whose worker delivers the records for as long as the window
// is open.

#include <memory>

#include "app/record/record_file.h"
#include "app/record_keeping.h"
#include "common/loader_view.h"

namespace window {

// The keeping whose sink the window's sessions and station write to. A variable that cannot be
// read is told to `view` as a detail line, and no database is used. Refusals of the database
// are told to `view`, from the worker's thread: `view` must be callable from any thread and
// outlive the keeping.
std::unique_ptr<app::RecordKeeping> StartRecordKeeping(
    LoaderView& view, const app::Environment& env = app::ProcessEnvironment());

}  // namespace window
