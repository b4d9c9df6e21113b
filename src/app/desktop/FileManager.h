// Showing files in the desktop's file manager: the freedesktop.org FileManager1 interface
// (Files, Dolphin, Nemo, Thunar...) opens their folder with the files selected; without one on
// the session bus the folder of the first opens in the default application.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace tessera {

void showInFileManager(const std::vector<std::string>& paths, QWidget* parent);

} // namespace tessera
