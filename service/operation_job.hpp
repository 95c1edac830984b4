// Any other request for a printer (rates, reports, clock, counters, drawer): a function
// run by the worker, and its result for whoever waits.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "printer_worker.hpp"
#include "request_error.hpp"

namespace tauravatd {

struct OperationResult {
  OperationResult() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): a bare code is a result
  OperationResult(int32_t resultCode, nlohmann::json answer = nullptr)
      : code(resultCode), body(std::move(answer)) {}
  static OperationResult Unfit(RequestError error) {
    OperationResult result;
    result.invalid = std::move(error);
    return result;
  }

  int32_t code = 0;     // the driver's result code
  nlohmann::json body;  // the answer when code is 0
  std::string detail;   // why, when the job could not run
  // The request does not fit the printer (found out on the worker, with fresh facts).
  std::optional<RequestError> invalid;
};

class OperationJob final : public Job {
 public:
  using Operation = std::function<OperationResult(WorkerContext&)>;

  // `allowance`: see Job::Allowance (a report's).
  explicit OperationJob(Operation operation, std::chrono::milliseconds allowance = {})
      : operation_(std::move(operation)), allowance_(allowance) {}
  std::future<OperationResult> Result() { return result_.get_future(); }

  void Run(WorkerContext& context) override;
  void Refuse(WorkerContext& context, int32_t code, const std::string& why) override;
  std::chrono::milliseconds Allowance() const override { return allowance_; }

 private:
  Operation operation_;
  std::chrono::milliseconds allowance_;
  std::promise<OperationResult> result_;
};

}  // namespace tauravatd
