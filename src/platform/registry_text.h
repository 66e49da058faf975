#pragma once

#include <string>
#include <string_view>

#include "platform/registry_document.h"

namespace porthold::platform {

// The store's file is the registry editor's export format, version 4, so that a
// user can read and edit it with any text editor:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Quillmoor\Porthold]
//   "RingsAnswer"=dword:00000001
//   "Path"="/home/x/.local/share/porthold/"
//
// Only keys under this root are read and written.
inline constexpr std::string_view kRegistryRootName = "HKEY_LOCAL_MACHINE";

// Reads the file's text, LF or CRLF line ends. Anything that cannot be
// understood (comments, other roots, damaged lines) is skipped line by line, so
// that one bad edit costs only that line.
RegistryDocument ParseRegistryText(std::string_view text);

// Writes the whole file with LF line ends, keys and values in the document's
// order.
std::string FormatRegistryText(const RegistryDocument& document);

}  // namespace porthold::platform
