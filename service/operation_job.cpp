#include "operation_job.hpp"

#include "result_codes.hpp"

namespace tauravatd {

void OperationJob::Run(WorkerContext& context) {
  OperationResult result;
  try {
    result = operation_(context);
  } catch (...) {
    result_.set_exception(std::current_exception());
    return;
  }
  context.Count(result.code);
  if (IsConnectionFault(result.code)) context.session.Lost(result.code);
  result_.set_value(std::move(result));
}

void OperationJob::Refuse(WorkerContext&, int32_t code, const std::string& why) {
  OperationResult result(code);
  result.detail = why;
  result_.set_value(std::move(result));
}

}  // namespace tauravatd
