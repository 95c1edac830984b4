#include "printer_model.hpp"

namespace taurasw {

tauravat_model_info PrinterModel(uint8_t type) {
  tauravat_model_info model{};
  model.size = sizeof model;
  if (tauravat_model_by_type(type, &model) != TAURAVAT_OK) {
    model = {};
    model.size = sizeof model;
  }
  return model;
}

}  // namespace taurasw
