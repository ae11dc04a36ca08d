#pragma once
// Files beside the executable: where that is, and writing a text into one.
#include <filesystem>
#include <string>

namespace qdz::util {

// Creates the file, replacing one of that name, and writes exactly the text's bytes into it.
// Throws std::runtime_error "Cannot create file "<full path>". <system reason>" when it cannot be
// created, and "Cannot write file "<full path>". <system reason>" when the bytes do not all land.
void SaveStringToFile(const std::string& text, const std::filesystem::path& fileName);

// The folder that holds the running program (symbolic links resolved).
std::filesystem::path ExecutableFolder();

}  // namespace qdz::util
