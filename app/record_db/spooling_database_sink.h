#pragma once
// A RecordSink that keeps each record in the record file first (the spool) and then has the
// delivery worker take it to the record database: Write costs the file append and a wake-up.

#include <string>

#include "app/record/record_sink.h"
#include "app/record_db/record_delivery.h"

namespace app {

class SpoolingDatabaseSink : public RecordSink {
 public:
  // `spool` writes the record file that `delivery` delivers; both outlive the sink.
  SpoolingDatabaseSink(RecordSink& spool, RecordDelivery& delivery) : m_spool(spool), m_delivery(delivery) {}

  // Safe from several threads at once when the spool's Write is.
  std::string Write(const RunRecord& record) override {
    std::string note = m_spool.Write(record);
    if (note.empty()) m_delivery.Kick();
    return note;
  }
  // The spool's check: a record file that cannot be written is told when the run begins.
  std::string Check() override { return m_spool.Check(); }

 private:
  RecordSink& m_spool;
  RecordDelivery& m_delivery;
};

}  // namespace app
