// The XML files that the system's packages installed, as the package
// manager lists them, for reading with both parsers.
#ifndef KELMO_TESTS_DIFF_INSTALLED_XML_FILES_H
#define KELMO_TESTS_DIFF_INSTALLED_XML_FILES_H

#include <cstddef>
#include <string>
#include <vector>

namespace kelmo_diff {

// Regular files ending in ".xml" named by the package file lists in
// listDirectory (the package manager's "*.list" files), at most maxSize
// bytes each and at most maxCount of them, in name order. Empty when the
// directory does not exist.
std::vector<std::string> InstalledXmlFiles(const std::string& listDirectory, size_t maxCount,
                                           size_t maxSize);

bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace kelmo_diff

#endif  // KELMO_TESTS_DIFF_INSTALLED_XML_FILES_H
