// A folder of its own under the temporary folder for a test, removed with
// the object; unit files written into it by their paths relative to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testdata {

class TTempFolder {
 public:
  // Tag names the folder ("unitpeek-TAG-PID-N").
  explicit TTempFolder(const std::string& Tag);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // Writes Bytes to Rel (its folders made); returns the path, empty when
  // it could not be written.
  std::string Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const;
  // The folder Rel, made; its path.
  std::string Folder(const std::string& Rel) const;
  std::string Path(const std::string& Rel) const { return (Root / Rel).string(); }

  const std::filesystem::path Root;
};

}  // namespace testdata
