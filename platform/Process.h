#pragma once

#include <QString>
#include <QStringList>

// Starting other programs and opening addresses and files with the desktop's handler. Nothing
// here waits for the started program.
//
//   qint64 pid = 0;
//   hv::StartDetached(viewerPath, {paramFile}, hv::paths::ProgramDir(), &pid);
//   hv::OpenUrl(QStringLiteral("https://example.invalid/page"));
//   hv::OpenFile(licencePath);
//
// The opener is "xdg-open"; the environment variable HV_OPENER names another program (tests
// use a script that records its argument instead of opening a browser).
namespace hv {

// True when the program was started; the working folder is left as it is when empty.
bool StartDetached(const QString& program, const QStringList& arguments,
                   const QString& workingDir = {}, qint64* pid = nullptr);

// Hands an address (http, https, mailto, file) to the desktop's handler.
bool OpenUrl(const QString& url);
// Opens a local file with its default application. False when the file does not exist.
bool OpenFile(const QString& path);

}  // namespace hv
