// The settings file reader: any bytes decode, and whatever the writer
// accepts of the decoded values reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const glimpses::Settings settings = glimpses::DecodeSettings(glimpses::Bytes(data, data + size));
  glimpses::SettingsError error = glimpses::SettingsError::kNone;
  const glimpses::Bytes written = glimpses::EncodeSettings(settings, &error);
  if (error == glimpses::SettingsError::kNone && glimpses::DecodeSettings(written) != settings) std::abort();
  return 0;
}
