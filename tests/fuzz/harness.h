// Shared set-up of the fuzz targets: a private working folder holding the shipped default files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/scripted_platform.h"
#include "app/session.h"

namespace vema::fuzz {

// The working folder of this process (created once, filled with copies of data/).
const std::string& WorkDir();

// Restores the three default files of the working folder from data/.
void RestoreDefaults();

// Writes bytes as a file of the working folder.
void WriteWorkFile(const std::string& name, const uint8_t* data, size_t size);

// A started session over the working folder, with a fixed seed.
struct Run {
  explicit Run(uint32_t seed = 1);
  ScriptedPlatform platform;
  std::unique_ptr<Session> session;
};

// Composes with the feel dialog answered (feel 0..3) and checks what every composition must
// hold; aborts on a violation so that the fuzzer reports it.
void ComposeAndCheck(Run& run, int feel);

// Checks a MusicXML score written for a song of so many bars: well-formed, every part that many
// bars, every bar exactly full; aborts on a violation.
void CheckScoreXml(const std::string& xml, int bars, size_t size);

// Says what went wrong with an input of so many bytes and aborts, so that the fuzzer keeps it.
[[noreturn]] void Fail(const char* what, size_t size);

}  // namespace vema::fuzz
