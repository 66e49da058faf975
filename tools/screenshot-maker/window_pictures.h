#pragma once

#include <QString>

#include "sample_program.h"

namespace porthold::screenshots {

// Renders the main window and every dialog over `program` into `folder` as
// PNG files, printing each file written. False when one could not be written.
bool RenderAllWindows(SampleProgram& program, const QString& folder);

}  // namespace porthold::screenshots
