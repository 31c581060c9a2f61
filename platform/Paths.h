#pragma once

#include <QString>

// Where Helvora keeps its files on this machine. Every folder follows the XDG folders and can be
// moved with an environment variable, so tests run isolated and side by side:
//   HV_PROGRAM_DIR   program folder (default: the folder of the running executable)
//   HV_CONFIG_DIR    settings tree       (default: $XDG_CONFIG_HOME/helvora)
//   HV_DOCUMENTS_DIR all-users documents (default: $XDG_DOCUMENTS_DIR or ~/Documents)
//   HV_RUNTIME_DIR   message-bus sockets and locks (default: $XDG_RUNTIME_DIR/helvora or /tmp/helvora-<uid>)
//   HV_DESKTOP_DIR   desktop launchers   (default: $XDG_DESKTOP_DIR or ~/Desktop)
namespace hv::paths {

QString ProgramDir();
QString ConfigDir();
QString DocumentsDir();
QString RuntimeDir();
QString DesktopDir();

// Overrides the program folder for code that runs outside the staged program (tests).
void SetProgramDirForTesting(const QString& dir);

}  // namespace hv::paths
