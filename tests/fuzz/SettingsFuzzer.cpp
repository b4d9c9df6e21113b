// Fuzz target: any bytes given to the settings reader give settings or a clear error, never a
// crash or a hang; settings it accepts hold only values the settings table allows, and write
// back to a file that reads the same with nothing left out. FuzzDriver.cpp replays the corpus
// (CI, with a short blind mutation) as it does for the snapshot target.
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> repairs;
    const auto settings = tessera::Settings::decode(text, &repairs);
    if (!settings) {
        if (settings.error().empty()) __builtin_trap(); // a refusal says why
        return 0;
    }
    for (const tessera::SettingDefinition& setting : tessera::settingsTable())
        if (!setting.allows(setting.get(*settings))) __builtin_trap();
    std::vector<std::string> again;
    const auto reread = tessera::Settings::decode(settings->encode(), &again);
    if (!reread || !again.empty() || reread->encode() != settings->encode()) __builtin_trap();
    return 0;
}
