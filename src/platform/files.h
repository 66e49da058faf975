#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace porthold::platform {

// File services of the operating system, on paths as the program builds them
// (folders end in "/").
//
// Everything the program keeps is private to its user: the settings hold the
// remote PIN and the messages are the callers' voices. A file these services
// create is therefore readable and writable by its owner only (0600), a folder
// usable by its owner only (0700); the process umask may narrow that further.
// An existing file keeps the mode its owner gave it. On failure, errno tells
// why the step that failed did.

bool FileExists(const std::string& path);

// The whole content of a file; none when it cannot be opened or read.
std::optional<std::string> ReadFileContents(const std::string& path);

// Replaces a file's content so that it is never seen half-written: the content
// goes to a temporary file in the same folder, is flushed to disk, and the
// temporary file is renamed over the old one. Returns false when any step
// fails; the old file is then untouched and the temporary file removed.
bool ReplaceFileContents(const std::string& path, std::string_view contents);

// Appends to a file, creating it when missing.
bool AppendToFile(const std::string& path, std::string_view contents);

enum class ExistingTarget { Overwrite, Keep };

// Copies a regular file; with ExistingTarget::Keep, an existing target makes
// it fail. A target that exists is overwritten in place and keeps its mode.
bool CopyFile(const std::string& source, const std::string& target, ExistingTarget existing);

bool DeleteFile(const std::string& path);

// Renames a file, replacing an existing target.
bool RenameFile(const std::string& source, const std::string& target);

// Creates one folder; false when it exists already or cannot be created.
bool CreateDirectory(const std::string& path);

// Creates a folder and whichever of its parents are missing; true when the
// folder exists afterwards. Only the folders it creates are made private.
bool CreateDirectories(const std::string& path);

// Opens a file for reading and writing, emptied, as a buffered stream; a
// missing file is created. Null when it cannot be opened.
std::FILE* OpenEmptiedStream(const std::string& path);

}  // namespace porthold::platform
