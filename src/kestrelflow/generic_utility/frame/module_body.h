// The statements of the module body, run by the exec step in this order:
// the imports, `error_records`, then the function table with the module-level
// data at its places.
#pragma once

#include "frame/toolkit.h"

namespace kf {

void bind_imports(py::dict globals);

// Binds the functions of the table, and the data that sits between them.
void bind_functions(py::dict globals);

}  // namespace kf
