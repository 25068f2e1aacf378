#include "installed_xml_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

namespace kelmo_diff {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<std::string> InstalledXmlFiles(const std::string& listDirectory, size_t maxCount,
                                           size_t maxSize) {
  std::set<std::string> candidates;
  if (DIR* dir = opendir(listDirectory.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (!EndsWith(name, ".list")) continue;
      std::ifstream list(listDirectory + "/" + name);
      std::string path;
      while (std::getline(list, path))
        if (EndsWith(path, ".xml")) candidates.insert(path);
    }
    closedir(dir);
  }
  std::vector<std::string> files;
  for (const std::string& path : candidates) {
    if (files.size() >= maxCount) break;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (info.st_size <= 0 || static_cast<size_t>(info.st_size) > maxSize) continue;
    files.push_back(path);
  }
  return files;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace kelmo_diff
