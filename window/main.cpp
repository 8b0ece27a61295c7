#include <memory>

#include "frm_main.h"
#include "window_services.h"

int main(int argc, char** argv) {
  return ordwell::services::RunProcess(argc, argv, [] {
    return std::make_unique<ordwell::FrmMain>(ordwell::services::AppFacts::FromApplication());
  });
}
