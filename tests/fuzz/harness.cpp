#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>

#include "app/compose_command.h"
#include "support/invariants.h"

namespace vema::fuzz {

namespace {

void CopyDefaults(const std::string& dir) {
  const std::string data = std::string(VEMA_SOURCE_DIR) + "/data/";
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    std::filesystem::copy_file(data + name, dir + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace

// Memory-backed storage when there is some: every run rewrites the outputs.
std::filesystem::path Base() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

// The working folder, removed when the process ends.
struct WorkFolder {
  WorkFolder() : path((Base() / ("vema-fuzz-" + std::to_string(::getpid()))).string()) {
    std::filesystem::create_directories(path);
    CopyDefaults(path);
  }
  ~WorkFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

const std::string& WorkDir() {
  static const WorkFolder folder;
  return folder.path;
}

void RestoreDefaults() { CopyDefaults(WorkDir()); }

void WriteWorkFile(const std::string& name, const uint8_t* data, size_t size) {
  std::ofstream out(WorkDir() + "/" + name, std::ios::binary | std::ios::trunc);
  if (size > 0) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

Run::Run(uint32_t seed)
    : session(std::make_unique<Session>(platform, SessionOptions{WorkDir(), seed})) {
  StartUp(*session);
}

void ComposeAndCheck(Run& run, int feel) {
  run.platform.feelAnswers.push_back(feel);
  ComposeCommand(*run.session);
  const std::string problem = testing::CheckComposition(*run.session);
  if (!problem.empty()) {
    std::fprintf(stderr, "composition invariant broken: %s\n", problem.c_str());
    std::abort();
  }
}

void CheckScoreXml(const std::string& xml, int bars, size_t size) {
  pugi::xml_document doc;
  if (!doc.load_string(xml.c_str())) Fail("the score is not well-formed", size);
  for (pugi::xml_node part : doc.child("score-partwise").children("part")) {
    int measures = 0;
    for (pugi::xml_node measure : part.children("measure")) {
      ++measures;
      int total = 0;
      for (pugi::xml_node note : measure.children("note")) {
        if (!note.child("chord")) total += note.child("duration").text().as_int();
      }
      if (total != kTicksPerBar) Fail("a bar is not exactly full", size);
    }
    if (measures != bars) Fail("a part has the wrong number of bars", size);
  }
}

void Fail(const char* what, size_t size) {
  std::fprintf(stderr, "%s (%zu bytes)\n", what, size);
  std::abort();
}

}  // namespace vema::fuzz
