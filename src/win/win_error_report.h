// The process-level report of an error that nothing caught.
#pragma once

#include "errors.h"

namespace kelto::win {

// Writes the report to standard error in the OEM code page. Allocates nothing and never fails
// visibly: there is nowhere left to report to.
void ReportUnhandledError(const TErrorDescription& AError) noexcept;

}  // namespace kelto::win
