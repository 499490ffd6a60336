#pragma once

namespace vantor {
// Routes ShowMessageBox to wxMessageBox. Called once the wx application exists.
void InstallGuiMessageBox();
}  // namespace vantor
