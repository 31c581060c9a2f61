#pragma once

#include <QString>

class CAgentRegistry;

// Start-up steps of the control object that only compute and store settings.
namespace hv::config {

// "<documents>/Kestrix/<product key>/", with a trailing separator as callers append file names
// directly ("%sHvLog").
QString DefaultDocPath(const QString& productKey);

// When the document path is empty, computes the default, creates it and keeps it in the settings
// object (it reaches DocPath at the next save). Points the developer log at the result.
QString InitDocPath(CAgentRegistry& reg);

// bldinfo.ini [General] Version; else the version this program was built as ("6.0.1.0").
QString LoadVersion(const QString& programDir = QString());

// Writes the "Helvora.desktop" launcher for HVAgent onto the desktop once per installation and
// records AgentIconReflash=1 in info.ini. Nothing when HVAgent is missing. True when written.
bool RefreshDesktopShortcut(const QString& programDir = QString());

// The desktop's default web browser program, or empty.
QString GetBrowserPath();

}  // namespace hv::config
