#include "inspect/installation_report.h"

#include <stdexcept>

namespace ostrel {

int RunInstallationReport() { throw std::runtime_error("Installation report is not built yet"); }

}  // namespace ostrel
