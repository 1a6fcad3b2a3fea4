#pragma once
// A workflow as its list of steps: each step runs only while every step before it ended with
// RESULT_OK and no stop was asked for, so a workflow reads as the steps it takes.

#include <stop_token>
#include <utility>

#include "common/load_result.h"

namespace app {

class StepRunner {
 public:
  explicit StepRunner(std::stop_token stop) : m_stop(std::move(stop)) {}

  // Runs `step` (a callable returning LoadResult) unless the run has already ended.
  template <typename Step>
  StepRunner& Then(Step&& step) {
    if (m_result != RESULT_OK) return *this;
    m_result = m_stop.stop_requested() ? RESULT_STOPPED : std::forward<Step>(step)();
    return *this;
  }

  // The first result other than RESULT_OK, RESULT_STOPPED when a stop came at any point,
  // else RESULT_OK.
  LoadResult result() const { return m_stop.stop_requested() ? RESULT_STOPPED : m_result; }

 private:
  std::stop_token m_stop;
  LoadResult m_result = RESULT_OK;
};

}  // namespace app
