#pragma once
// The application's folders and whole-file reads and writes. Failures throw
// std::filesystem::filesystem_error naming the operation, the path and the system's reason.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// $XDG_DATA_HOME/Sonavant, else ~/.local/share/Sonavant. Only the path; see ensureDirectoryExists.
std::filesystem::path applicationSupportDirectory();
// $XDG_CONFIG_HOME/Sonavant, else ~/.config/Sonavant (the user defaults live here).
std::filesystem::path configurationDirectory();

// Creates the folder with any missing parents when nothing exists at its path.
void ensureDirectoryExists(const std::filesystem::path& folder);

// Replaces the file in one step: a temporary file in the same folder is written, flushed
// to disk and renamed over the target. On any failure the old file is left as it was and
// no temporary file stays behind. A replaced file keeps its permission bits.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

std::string readFile(const std::filesystem::path& path);

// Removes the temporary files an interrupted writeFileAtomically left in `folder`
// (".<file name>.tmp-" and twelve hex digits), and nothing else; only safe while no other
// process writes there. Returns what was removed.
std::vector<std::filesystem::path> removeLeftoverTemporaryFiles(const std::filesystem::path& folder);

// Whether the user may change the file at `path` in place: a file that does not exist may be
// made. Root passes every permission check, so for root a file without any write bit counts
// as not writable.
bool isWritableByUser(const std::filesystem::path& path);

// Tests stand in a failing disk here: before each writeFileAtomically the fault is asked
// about the target, and a non-zero errno (ENOSPC for a full disk) fails the write the way
// the system would, leaving the old file whole. An empty function removes it.
void setWriteFault(std::function<int(const std::filesystem::path&)> fault);

// A path as it stands in a file URL: every byte but letters, digits and "/-._~"
// percent-encoded, so "?", "#" or "%" in a folder name cannot turn into URL syntax.
std::string percentEncodedPath(std::string_view path);

} // namespace platform
